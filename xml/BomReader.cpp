#include "xml/BomReader.h"

#include <cstring>

#include "xml/UnicodeCodecUcs4.h"
#include "xml/Utf16Codec.h"
#include "xml/Utf8Codec.h"

TUtilsCustomReader::~TUtilsCustomReader() {
  if (stream != nullptr) Synchronize();
}

void TUtilsCustomReader::Create(TStream* stream_, int32_t bufSize_) {
  if (stream_ == nullptr) throw EParserUtilsException("Stream not specified.");
  stream = stream_;
  bufSize = bufSize_ < 1 ? 1 : bufSize_;
  startPosition = stream->Position();
  bufferPos = 0;
  bufferCount = 0;
  buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(bufSize));
}

int64_t TUtilsCustomReader::GetPosition() { return stream->Position() - bufferCount - startPosition; }

int32_t TUtilsCustomReader::ReadStream(void* dest, int32_t count) {
  int32_t total = 0;
  while (total < count) {
    int32_t got = stream->Read(static_cast<uint8_t*>(dest) + total, count - total);
    if (got <= 0) break;
    total += got;
  }
  return total;
}

void TUtilsCustomReader::Refill() {
  Synchronize();
  bufferCount = ReadStream(buffer.get(), bufSize);
  bufferPos = 0;
}

bool TUtilsCustomReader::Read(void* dest, int32_t count) {
  if (count <= 0) return true;
  if (count <= bufferCount) {
    std::memcpy(dest, buffer.get() + bufferPos, static_cast<size_t>(count));
    SkipBuffered(count);
    return true;
  }
  if (count > bufSize) {
    Synchronize();
    int32_t got = ReadStream(dest, count);
    if (got == count) return true;
    stream->Seek(-got, soCurrent);
    return false;
  }
  // A unit that straddles the end of the buffer is read again from the stream.
  Refill();
  if (bufferCount < count) return false;
  std::memcpy(dest, buffer.get(), static_cast<size_t>(count));
  SkipBuffered(count);
  return true;
}

int32_t TUtilsCustomReader::ReadUpTo(void* dest, int32_t count) {
  if (count <= 0) return 0;
  if (Read(dest, count)) return count;
  if (count > bufSize) {
    Synchronize();
    return ReadStream(dest, count);
  }
  // Read left the rest of the input in the buffer.
  int32_t n = static_cast<int32_t>(bufferCount);
  std::memcpy(dest, buffer.get() + bufferPos, static_cast<size_t>(n));
  SkipBuffered(n);
  return n;
}

void TUtilsCustomReader::Seek(int64_t offset) {
  stream->Seek(startPosition + offset, soBeginning);
  bufferPos = 0;
  bufferCount = 0;
}

void TUtilsCustomReader::Synchronize() {
  if (bufferCount > 0) stream->Seek(-bufferCount, soCurrent);
  bufferPos = 0;
  bufferCount = 0;
}

int64_t TUtilsCustomBOMReader::GetPosition() { return TUtilsCustomReader::GetPosition() - bomLength; }

void TUtilsCustomBOMReader::Seek(int64_t offset) { TUtilsCustomReader::Seek(offset + bomLength); }

void TUtilsBOMReader::Create(TStream* stream_, int32_t bufSize_) {
  TUtilsCustomBOMReader::Create(stream_, bufSize_);
  uint8_t b[4] = {0, 0, 0, 0};
  int64_t before = stream->Position();
  int32_t got = stream->Read(b, 2);
  bomLength = 0;
  bomCodecClass = nullptr;
  if (got == 2) {
    bool zeroZeroNext = false;
    if (b[0] == 0xEF && b[1] == 0xBB) {
      if (stream->Read(b + 2, 1) == 1 && b[2] == 0xBF) {
        bomCodecClass = CodecClassOf<TUTF8Codec>();
        bomLength = 3;
      }
    } else if ((b[0] == 0x00 && b[1] == 0x00) || (b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE)) {
      zeroZeroNext = stream->Read(b + 2, 2) == 2 && b[2] == 0x00 && b[3] == 0x00;
      if (b[0] == 0x00 && b[2] == 0xFE && b[3] == 0xFF) {
        bomCodecClass = CodecClassOf<TUCS4BECodec>();
        bomLength = 4;
      } else if (b[0] == 0x00 && b[2] == 0xFF && b[3] == 0xFE) {
        bomCodecClass = CodecClassOf<TUCS4_2143Codec>();
        bomLength = 4;
      } else if (b[0] == 0xFE) {
        bomCodecClass = zeroZeroNext ? CodecClassOf<TUCS4_3412Codec>() : CodecClassOf<TUTF16BECodec>();
        bomLength = zeroZeroNext ? 4 : 2;
      } else if (b[0] == 0xFF) {
        bomCodecClass = zeroZeroNext ? CodecClassOf<TUCS4LECodec>() : CodecClassOf<TUTF16LECodec>();
        bomLength = zeroZeroNext ? 4 : 2;
      }
    }
  }
  stream->Seek(before + bomLength, soBeginning);
}
