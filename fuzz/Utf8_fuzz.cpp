// UTF-8: character-level and buffer decoding agree, valid input re-encodes to
// the same bytes, and the located reader delivers the same characters.
#include "FuzzCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  auto codec = CreateCodec(CodecClassOf<TUTF8Codec>());
  FuzzDecoded decoded = FuzzDecodeChars(*codec, data, size);

  std::u16string units(size + 1, u'\0');
  int32_t bytesRead = 0;
  int32_t written = 0;
  bool bufferFailed = false;
  try {
    codec->Decode(data, static_cast<int32_t>(size), units.data(), static_cast<int32_t>(units.size() * 2), bytesRead,
                  written);
  } catch (const EConvertError&) {
    bufferFailed = true;
  }
  if (!decoded.failed) {
    QV_FUZZ_CHECK(!bufferFailed && bytesRead == static_cast<int32_t>(size));
    units.resize(static_cast<size_t>(written));
    QV_FUZZ_CHECK(units == ToUtf16(decoded.chars));
    std::string again;
    int32_t charsRead = 0;
    codec->Encode(units.data(), written, charsRead, again);
    QV_FUZZ_CHECK(again == std::string(reinterpret_cast<const char*>(data), size));
  } else {
    QV_FUZZ_CHECK(bufferFailed || bytesRead < static_cast<int32_t>(size));
  }

  // A UTF-16 or UCS-4 mark would make the reader choose another codec.
  TStringStream markProbe(std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<TUtilsBOMReader> bom(New<TUtilsBOMReader>(&markProbe, 16));
  if (bom->BomCodecClass() != nullptr && bom->BomCodecClass() != CodecClassOf<TUTF8Codec>()) return 0;
  bool readerFailed = false;
  int32_t bufSize = size > 0 ? 1 + data[0] % 16 : 1;
  std::vector<UCS4Char> located = FuzzReadLocated(CodecClassOf<TUTF8Codec>(), data, size, bufSize, &readerFailed);
  QV_FUZZ_CHECK(readerFailed == decoded.failed);
  if (!decoded.failed) {
    std::vector<UCS4Char> expected = decoded.chars;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) expected.erase(expected.begin());
    QV_FUZZ_CHECK(located == FoldLineEnds(expected));
  }
  return 0;
}
