// The byte-order-mark and located readers over any bytes, with any default
// codec (chosen by the first byte): the counters stay consistent, the buffer
// size does not change what is read, and the characters are those the codec
// decodes after the mark, line ends folded.
#include "FuzzCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  const std::vector<TUnicodeCodecClass>& all = AllCodecClasses();
  TUnicodeCodecClass cls = all[data[0] % all.size()];
  ++data;
  --size;
  bool smallFailed = false;
  bool largeFailed = false;
  std::vector<UCS4Char> small = FuzzReadLocated(cls, data, size, 1 + (size % 7), &smallFailed);
  std::vector<UCS4Char> large = FuzzReadLocated(cls, data, size, 4096, &largeFailed);
  QV_FUZZ_CHECK(smallFailed == largeFailed);
  if (largeFailed) return 0;
  QV_FUZZ_CHECK(small == large);

  TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<TUtilsBOMReader> bom(New<TUtilsBOMReader>(&stream, 64));
  TUnicodeCodecClass used = bom->BomCodecClass() != nullptr ? bom->BomCodecClass() : cls;
  int64_t skip = BomLengthOf(bom->BomCodecClass());
  auto codec = CreateCodec(used);
  FuzzDecoded decoded = FuzzDecodeChars(*codec, data + skip, size - static_cast<size_t>(skip));
  QV_FUZZ_CHECK(!decoded.failed);
  QV_FUZZ_CHECK(FoldLineEnds(decoded.chars) == large);
  return 0;
}
