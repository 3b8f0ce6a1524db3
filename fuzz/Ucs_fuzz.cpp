// UCS-4 in four byte orders and UCS-2 (chosen by the first byte):
// character-level and buffer decoding agree and valid input round-trips.
#include "FuzzCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  const TUnicodeCodecClass classes[] = {CodecClassOf<TUCS4BECodec>(), CodecClassOf<TUCS4LECodec>(),
                                        CodecClassOf<TUCS4_2143Codec>(), CodecClassOf<TUCS4_3412Codec>(),
                                        CodecClassOf<TUCS2Codec>()};
  TUnicodeCodecClass cls = classes[data[0] % 5];
  ++data;
  --size;
  auto codec = CreateCodec(cls);
  FuzzDecoded decoded = FuzzDecodeChars(*codec, data, size);
  std::u16string units(size + 1, u'\0');
  int32_t bytesRead = 0;
  int32_t written = 0;
  bool bufferFailed = false;
  try {
    codec->Decode(data, static_cast<int32_t>(size), units.data(), static_cast<int32_t>(units.size() * 2), bytesRead,
                  written);
  } catch (const EUnicodeCodecException&) {
    bufferFailed = true;
  }
  if (decoded.failed) return 0;
  QV_FUZZ_CHECK(!bufferFailed && bytesRead == static_cast<int32_t>(size));
  units.resize(static_cast<size_t>(written));
  QV_FUZZ_CHECK(units == ToUtf16(decoded.chars));
  std::string again;
  int32_t charsRead = 0;
  codec->Encode(units.data(), written, charsRead, again);
  QV_FUZZ_CHECK(again == std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
