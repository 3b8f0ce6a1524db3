#include "core/FileStream.h"

#include "core/Format.h"
#include "core/SysUtils.h"

// ---- THandleStream ----------------------------------------------------------------

int32_t THandleStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t n = FileHandleRead(handle, buffer, count);
  return n < 0 ? 0 : n;
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t n = FileHandleWrite(handle, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  return FileHandleSeek(handle, offset, origin);
}

void THandleStream::SetSize(int64_t newSize) {
  if (newSize < 0) return;
  int64_t position = Seek(0, soCurrent);
  if (position < 0 || Seek(newSize, soBeginning) < 0) throw EStreamError("Stream seek error");
  std::string error;
  bool truncated = FileHandleTruncate(handle, error);
  Seek(position < newSize ? position : newSize, soBeginning);
  if (!truncated) throw EStreamError(error);
}

// ---- TFileStream ------------------------------------------------------------------

TFileStream::~TFileStream() { FileHandleClose(handle); }

void TFileStream::Create(const std::u16string& path, uint16_t mode) {
  FileHandleClose(handle);
  handle = kInvalidHandle;
  fileName = path;
  std::string error;
  THandle opened = FileHandleOpen(path, mode, error);
  if (opened == kInvalidHandle) {
    if (mode == fmCreate) throw EFCreateError(Format("Cannot create file \"%s\". %s", {WideToAnsi(path), error}));
    throw EFOpenError(Format("Cannot open file \"%s\". %s", {WideToAnsi(path), error}));
  }
  handle = opened;
}

void TFileStream::Create(const std::string& path, uint16_t mode) { Create(AnsiToWide(path), mode); }
