// The single-byte code pages (codec and error action chosen by the first two
// bytes): character-level decoding (which no error action governs) and buffer
// decoding agree wherever neither meets a byte that cannot be decoded, undefined
// bytes are U+FFFF in both, and decoded text encodes back to the same bytes.
#include "FuzzCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 16) return 0;
  const std::vector<TUnicodeCodecClass>& all = AllCodecClasses();
  const size_t firstSingleByte = 8;
  TUnicodeCodecClass cls = all[firstSingleByte + data[0] % (all.size() - firstSingleByte)];
  TErrorAction action = static_cast<TErrorAction>(data[1] % 5);
  data += 2;
  size -= 2;
  auto codec = CreateCodec(cls);
  codec->SetErrorAction(action);
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
  // Only a byte that DecodeChar refuses fails, at character level always,
  // in buffers under eaRaise.
  if (action == eaRaise) QV_FUZZ_CHECK(bufferFailed == decoded.failed);
  QV_FUZZ_CHECK(!bufferFailed || decoded.failed);
  if (decoded.failed) return 0;
  units.resize(static_cast<size_t>(written));
  QV_FUZZ_CHECK(units == ToUtf16(decoded.chars));
  if (action != eaRaise || units.find(u'\uFFFF') != std::u16string::npos) return 0;
  std::string again;
  int32_t charsRead = 0;
  codec->Encode(units.data(), written, charsRead, again);
  QV_FUZZ_CHECK(again == std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
