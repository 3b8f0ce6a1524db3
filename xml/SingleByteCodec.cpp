#include "xml/SingleByteCodec.h"

#include "xml/UnicodeCodecMessages.h"

const TUnicodeCodecClassInfo TCustomSingleByteCodec::classInfo = {"TCustomSingleByteCodec",
                                                                  &TCustomUnicodeCodec::classInfo, nullptr};

void TCustomSingleByteCodec::Create() {
  TCustomUnicodeCodec::Create();
  replacementByte = 0x20;
}

UCS4Char TCustomSingleByteCodec::ByteToUCS4(uint8_t b) { return DecodeChar(b); }

uint8_t TCustomSingleByteCodec::UCS4ToByte(UCS4Char ch) {
  if (ch >= 0x10000) throw EConvertError(codecmsg::Fill(codecmsg::kNotValidCodePoint, ch, CharsetName()));
  return EncodeChar(static_cast<char16_t>(ch));
}

bool TCustomSingleByteCodec::TryDecodeByte(uint8_t b, char16_t& c, std::string& error) {
  try {
    c = DecodeChar(b);
  } catch (const EConvertError& e) {
    error = e.Message();
    return false;
  }
  return true;
}

void TCustomSingleByteCodec::DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) {
  byteCount = 0;
  undefinedByte = -1;
  uint8_t b;
  if (!ReadBytes(&b, 1)) {
    ch = kUcs4EndOfInput;
    return;
  }
  byteCount = 1;
  // Character level: DecodeChar's exception passes; an undefined byte is U+FFFF.
  ch = DecodeChar(b);
  if (ch == 0xFFFF) undefinedByte = b;
}

std::string TCustomSingleByteCodec::UndefinedByteMessage() {
  return codecmsg::Fill(codecmsg::kNotValidCodePoint, static_cast<uint32_t>(undefinedByte), CharsetName());
}

void TCustomSingleByteCodec::EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) {
  uint8_t b = UCS4ToByte(ch);
  WriteBytes(&b, 1);
  byteCount = 1;
}

void TCustomSingleByteCodec::Decode(const void* source, int32_t sourceLength, char16_t* dest,
                                    int32_t destSize, int32_t& bytesRead, int32_t& charsWritten) {
  bytesRead = 0;
  charsWritten = 0;
  if (source == nullptr || sourceLength < 1 || dest == nullptr || destSize < 2) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(source);
  const int32_t capacity = destSize / 2;
  int32_t pos = 0;
  int32_t out = 0;
  for (; pos < sourceLength && out < capacity; ++pos) {
    char16_t c;
    std::string error;
    // An undefined byte is U+FFFF here too; only DecodeChar's exceptions follow ErrorAction.
    if (TryDecodeByte(bytes[pos], c, error)) {
      dest[out++] = c;
      continue;
    }
    if (errorAction == eaRaise) {
      bytesRead = pos;
      charsWritten = out;
      RaiseCodecError(error, pos);
    }
    if (errorAction == eaStop) break;
    if (errorAction == eaCopy) dest[out++] = bytes[pos];
    if (errorAction == eaReplace) dest[out++] = replacementChar;
  }
  bytesRead = pos;
  charsWritten = out;
}

void TCustomSingleByteCodec::Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
                                    std::string& dest) {
  dest.clear();
  charsRead = 0;
  if (source == nullptr || sourceLength < 1) return;
  dest.reserve(static_cast<size_t>(sourceLength));
  int32_t i = 0;
  for (; i < sourceLength; ++i) {
    try {
      dest += static_cast<char>(EncodeChar(source[i]));
      continue;
    } catch (const EConvertError& e) {
      if (errorAction == eaRaise) RaiseCodecError(e.Message(), i);
    }
    if (errorAction == eaStop) break;
    if (errorAction == eaCopy) dest += static_cast<char>(source[i] & 0xFF);
    if (errorAction == eaReplace) dest += static_cast<char>(replacementByte);
  }
  charsRead = i;
}

uint8_t TTableSingleByteCodec::EncodeChar(char16_t c) {
  if (c != 0xFFFF) {
    for (int b = 0; b < 256; ++b) {
      if (table[b] == c) return static_cast<uint8_t>(b);
    }
  }
  throw EConvertError(codecmsg::Fill(codecmsg::kNoEquivalent, c, name));
}

int32_t TTableSingleByteCodec::DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available < 1) return 0;
  ch = table[source[0]];
  return 1;
}

int32_t TTableSingleByteCodec::DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                                         int32_t maxChars) {
  int32_t n = available < maxChars ? available : maxChars;
  for (int32_t i = 0; i < n; ++i) {
    char16_t c = table[source[i]];
    // An undefined byte goes the long way, which notes it for the reader.
    if (c == 0xFFFF) return i;
    chars[i] = c;
    sizes[i] = 1;
  }
  return n;
}
