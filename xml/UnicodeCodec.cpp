#include "xml/UnicodeCodec.h"

#include <cstdio>

#include "xml/UnicodeCodecMessages.h"

const TUnicodeCodecClassInfo TCustomUnicodeCodec::classInfo = {"TCustomUnicodeCodec", nullptr, nullptr};

std::string codecmsg::Fill(std::string_view format, uint32_t value, std::string_view name) {
  std::string out;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    char buf[16];
    std::string_view rest = format.substr(i + 1);
    if (rest.substr(0, 4) == "8.8X") {
      std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(value));
      out += buf;
      i += 4;
    } else if (rest[0] == 'x' || rest[0] == 'X') {
      std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(value));
      out += buf;
      i += 1;
    } else if (rest[0] == 'd') {
      std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
      out += buf;
      i += 1;
    } else if (rest[0] == 's') {
      out += name;
      i += 1;
    } else {
      out += c;
    }
  }
  return out;
}

void RaiseCodecError(const std::string& msg, int64_t position) {
  throw EUnicodeCodecException(msg, position);
}

void RaiseCodecErrorFmt(std::string_view format, std::initializer_list<TVarRec> args, int64_t position) {
  throw EUnicodeCodecException(Format(format, args), position);
}

std::unique_ptr<TCustomUnicodeCodec> CreateCodec(TUnicodeCodecClass codecClass) {
  if (codecClass == nullptr || codecClass->construct == nullptr) return nullptr;
  std::unique_ptr<TCustomUnicodeCodec> codec(codecClass->construct());
  codec->Create();
  return codec;
}

bool CodecInheritsFrom(TUnicodeCodecClass codecClass, TUnicodeCodecClass ancestor) {
  if (ancestor == nullptr) return false;
  for (TUnicodeCodecClass c = codecClass; c != nullptr; c = c->parent) {
    if (c == ancestor) return true;
  }
  return false;
}

void TCustomUnicodeCodec::Create() {
  errorAction = eaRaise;
  replacementChar = 0xFFFD;
  readLFOption = 0;
  writeLFOption = 0;
  hasLookAhead = false;
  lookAheadChar = 0;
  lookAheadSize = 0;
}

void TCustomUnicodeCodec::SetReadLFOption(uint8_t value) { readLFOption = value; }

void TCustomUnicodeCodec::SetWriteLFOption(uint8_t value) { writeLFOption = value; }

int32_t TCustomUnicodeCodec::DecodeFromMemory(const uint8_t*, int32_t, UCS4Char&) { return 0; }

int32_t TCustomUnicodeCodec::DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                                       int32_t maxChars) {
  int32_t count = 0;
  int32_t pos = 0;
  while (count < maxChars && pos < available) {
    UCS4Char ch;
    int32_t n = DecodeFromMemory(source + pos, available - pos, ch);
    if (n <= 0) break;
    chars[count] = ch;
    sizes[count++] = static_cast<uint8_t>(n);
    pos += n;
  }
  return count;
}

void TCustomUnicodeCodec::SetOnRead(TCodecReadEvent value) {
  // A source of the same code keeps the held character, but always takes the
  // new object, so the codec never reads through a stale one.
  if (value.code != onRead.code) hasLookAhead = false;
  onRead = value;
}

bool TCustomUnicodeCodec::ReadBytes(void* buffer, int32_t count) {
  return ReadAvailableBytes(buffer, count) == count;
}

int32_t TCustomUnicodeCodec::ReadAvailableBytes(void* buffer, int32_t count) {
  if (!onRead || count <= 0) return 0;
  return onRead.code(onRead.data, this, buffer, count);
}

void TCustomUnicodeCodec::WriteBytes(const void* buffer, int32_t count) {
  if (onWrite) onWrite.code(onWrite.data, this, buffer, count);
}

void TCustomUnicodeCodec::ReadUCS4Char(UCS4Char& ch, int32_t& byteCount) {
  if (hasLookAhead) {
    ch = lookAheadChar;
    byteCount = lookAheadSize;
    hasLookAhead = false;
  } else {
    DecodeUCS4Char(ch, byteCount);
  }
  if (ch != 0x0D || readLFOption != 1) return;
  DecodeUCS4Char(lookAheadChar, lookAheadSize);
  if (lookAheadChar == 0x0A) {
    byteCount += lookAheadSize;
  } else {
    hasLookAhead = true;
  }
  ch = 0x0A;
}

void TCustomUnicodeCodec::WriteUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (ch != 0x0A || writeLFOption == 0) {
    EncodeUCS4Char(ch, byteCount);
    return;
  }
  EncodeUCS4Char(0x0D, byteCount);
  if (writeLFOption != 2) return;
  int32_t lfCount = 0;
  EncodeUCS4Char(0x0A, lfCount);
  byteCount += lfCount;
}
