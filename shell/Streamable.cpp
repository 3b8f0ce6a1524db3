#include "shell/Streamable.h"

#include "shell/WideFileStream.h"

namespace {

constexpr uint16_t kOpenExclusive = fmOpenRead | fmShareExclusive;

template <class Work>
void WithFile(const std::u16string& fileName, uint16_t mode, Work work) {
  TWideFileStream* stream = New<TWideFileStream>(fileName, mode);
  try {
    work(stream);
  } catch (...) {
    stream->Free();
    throw;
  }
  stream->Free();
}

}  // namespace

void TStreamableClass::LoadFromFile(const std::u16string& fileName, int32_t version, bool readVerFromStream) {
  WithFile(fileName, kOpenExclusive, [&](TStream* s) { LoadFromStream(s, version, readVerFromStream); });
}

void TStreamableClass::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  if (readVerFromStream) {
    stream->ReadBuffer(&streamVersion, sizeof streamVersion);
  } else {
    streamVersion = version;
  }
}

void TStreamableClass::SaveToFile(const std::u16string& fileName, int32_t version, bool writeVerToStream) {
  WithFile(fileName, fmCreate, [&](TStream* s) { SaveToStream(s, version, writeVerToStream); });
}

void TStreamableClass::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  if (writeVerToStream) stream->WriteBuffer(&version, sizeof version);
  streamVersion = version;
}

void TStreamableList::LoadFromFile(const std::u16string& fileName) {
  WithFile(fileName, kOpenExclusive, [&](TStream* s) { LoadFromStream(s, 0, /*readVerFromStream=*/false); });
}

void TStreamableList::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  Clear();
  if (readVerFromStream) {
    stream->ReadBuffer(&streamVersion, sizeof streamVersion);
  } else {
    streamVersion = version;
  }
}

void TStreamableList::SaveToFile(const std::u16string& fileName) {
  WithFile(fileName, fmCreate, [&](TStream* s) { SaveToStream(s, 0, /*writeVerToStream=*/false); });
}

void TStreamableList::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  if (writeVerToStream) stream->WriteBuffer(&version, sizeof version);
  streamVersion = version;
}
