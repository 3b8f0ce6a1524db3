#pragma once
// Test helpers for the codecs: an in-memory byte source and sink.
#include <cstring>
#include <string>

#include "xml/UnicodeCodec.h"

struct TestByteSource {
  std::string bytes;
  size_t pos = 0;
  int32_t Read(TCustomUnicodeCodec*, void* buffer, int32_t count) {
    size_t n = std::min(static_cast<size_t>(count), bytes.size() - pos);
    std::memcpy(buffer, bytes.data() + pos, n);
    pos += n;
    return static_cast<int32_t>(n);
  }
  void Attach(TCustomUnicodeCodec& codec) { codec.SetOnRead(MakeCodecReadEvent<&TestByteSource::Read>(this)); }
};

struct TestByteSink {
  std::string bytes;
  void Write(TCustomUnicodeCodec*, const void* buffer, int32_t count) {
    bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
  }
  void Attach(TCustomUnicodeCodec& codec) { codec.SetOnWrite(MakeCodecWriteEvent<&TestByteSink::Write>(this)); }
};

// A codec of class T after its Create phase.
template <class T>
std::unique_ptr<TCustomUnicodeCodec> MakeCodec() {
  return CreateCodec(CodecClassOf<T>());
}
