#pragma once
// Buffered reading of a byte stream, and detection of the byte-order mark at
// its start. Positions are relative to where the reader was created.
#include <cstdint>
#include <memory>

#include "core/Exception.h"
#include "core/Object.h"
#include "core/Stream.h"
#include "xml/UnicodeCodec.h"

QV_DECLARE_EXCEPTION(EParserUtilsException, Exception);

// Reads a stream through a buffer of its own. Made with New<T>(stream, bufSize).
class TUtilsCustomReader : public TObject {
public:
  ~TUtilsCustomReader() override;
  // A nil stream raises EParserUtilsException "Stream not specified."; a
  // bufSize below 1 is taken as 1. Records the stream's position as the start.
  virtual void Create(TStream* stream_, int32_t bufSize_);

  // The logical position of the next unread byte.
  virtual int64_t GetPosition();
  // Reads exactly count bytes into dest; false (nothing delivered, nothing
  // consumed) when fewer are left.
  virtual bool Read(void* dest, int32_t count);
  // Moves to offset from the start and empties the buffer.
  virtual void Seek(int64_t offset);
  // Gives unread buffered bytes back to the stream and empties the buffer.
  virtual void Synchronize();

  // Reads up to count bytes: all of them when available, else what is left
  // of the input; returns how many were delivered (and consumed).
  int32_t ReadUpTo(void* dest, int32_t count);
  // The unread bytes in the buffer (their count) without consuming them.
  int32_t BufferedBytes(const uint8_t*& data) const {
    data = buffer.get() + bufferPos;
    return static_cast<int32_t>(bufferCount);
  }
  // Consumes n (<= BufferedBytes) buffered bytes.
  void SkipBuffered(int32_t n) {
    bufferPos += n;
    bufferCount -= n;
  }
  int32_t BufSize() const { return bufSize; }
  TStream* Stream() const { return stream; }

protected:
  TStream* stream = nullptr;  // not owned
  std::unique_ptr<uint8_t[]> buffer;
  int64_t startPosition = 0;
  int64_t bufferPos = 0;
  int64_t bufferCount = 0;
  int32_t bufSize = 0;

private:
  // Reads from the stream until count bytes came or it gives no more.
  int32_t ReadStream(void* dest, int32_t count);
  // Empties and refills the buffer from the stream.
  void Refill();
};

// A reader that skips a byte-order mark: positions count from after the mark.
class TUtilsCustomBOMReader : public TUtilsCustomReader {
public:
  int64_t GetPosition() override;
  void Seek(int64_t offset) override;

  int32_t BomLength() const { return bomLength; }
  // The codec class the mark implies; nullptr when there was no mark.
  TUnicodeCodecClass BomCodecClass() const { return bomCodecClass; }

protected:
  int32_t bomLength = 0;
  TUnicodeCodecClass bomCodecClass = nullptr;
};

class TUtilsBOMReader : public TUtilsCustomBOMReader {
public:
  // Creates the reader, then detects the mark (UCS-4 in four byte orders,
  // UTF-8, UTF-16 in two) and leaves the stream just after it.
  void Create(TStream* stream_, int32_t bufSize_) override;
};
