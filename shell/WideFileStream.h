#pragma once
// TWideFileStream: a handle stream on a file opened by a wide name.
#include <string>

#include "core/FileStream.h"

class TWideFileStream : public THandleStream {
public:
  ~TWideFileStream() override;
  // fmCreate (0xFFFF) creates or truncates the file (read-write, not shared);
  // other modes: access in the low two bits (read, write, read-write), sharing
  // in bits 4-7 (0/1 exclusive, 2 deny write, 3 deny read, 4 deny none),
  // OPEN_EXISTING. Bad access or share values raise ERangeError; a file that
  // cannot be opened raises EFCreateError "Cannot create file <name>".
  void Create(const std::u16string& fileName, uint16_t mode);

  const std::u16string& FileName() const { return fileName; }

private:
  std::u16string fileName;
};
