// UTF-16 (byte order chosen by the first byte): character-level and buffer
// decoding agree and valid input re-encodes to the same bytes.
#include "FuzzCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  TUnicodeCodecClass cls = data[0] & 1 ? CodecClassOf<TUTF16BECodec>() : CodecClassOf<TUTF16LECodec>();
  ++data;
  --size;
  auto codec = CreateCodec(cls);
  FuzzDecoded decoded = FuzzDecodeChars(*codec, data, size);
  std::u16string units(size / 2 + 1, u'\0');
  int32_t bytesRead = 0;
  int32_t written = 0;
  codec->Decode(data, static_cast<int32_t>(size), units.data(), static_cast<int32_t>(units.size() * 2), bytesRead,
                written);
  QV_FUZZ_CHECK(bytesRead == static_cast<int32_t>(size & ~size_t{1}));
  if (decoded.failed) return 0;
  units.resize(static_cast<size_t>(written));
  QV_FUZZ_CHECK(units == ToUtf16(decoded.chars));
  std::string again;
  int32_t charsRead = 0;
  codec->Encode(units.data(), written, charsRead, again);
  QV_FUZZ_CHECK(again == std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
