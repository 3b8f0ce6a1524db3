#pragma once
// The abstract byte stream: 64-bit positions and sizes, 32-bit transfer counts.
//
// Seek contract for every stream of the library: a Seek whose resulting
// position would be negative (or overflow) returns -1 and leaves the position
// unchanged; positions beyond the end are allowed, and a Write there first
// fills the gap with zero bytes (memory and string streams; file streams
// leave it to the file system, which also reads zeros).
#include <cstdint>

#include "core/Exception.h"
#include "core/Object.h"

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  // Reads up to count bytes at the position and advances past them; returns
  // the number read (fewer at the end, 0 for count <= 0).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes up to count bytes at the position and advances; returns the number
  // written (0 for count <= 0).
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position to offset from origin; returns the new position, or
  // -1 (position unchanged) when it would be negative.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  // The current position.
  int64_t Position() { return Seek(0, soCurrent); }
  // Moves to pos from the start; a negative pos leaves the position unchanged.
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
  // The size in bytes; by default found by seeking to the end and back.
  virtual int64_t Size();
  // Changes the size where the stream can; the base does nothing.
  virtual void SetSize(int64_t newSize);

  // Reads exactly count bytes or raises EReadError "Stream read error".
  void ReadBuffer(void* buffer, int32_t count);
  // Writes exactly count bytes or raises EWriteError "Stream write error".
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies count bytes from source's position to this stream's position;
  // count 0 copies the whole source from its start. A source shorter than
  // count raises EReadError, a negative count raises EReadError. Returns the
  // number of bytes copied.
  int64_t CopyFrom(TStream* source, int64_t count);
};

// The new position for a seek of offset from origin, given the current
// position and size; -1 when negative or not representable.
int64_t StreamSeekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size);
