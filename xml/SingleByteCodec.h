#pragma once
// The base of the single-byte code-page codecs: descendants give only the
// byte-to-character mapping (DecodeChar) and its inverse (EncodeChar).
#include "xml/UnicodeCodec.h"

class TCustomSingleByteCodec : public TCustomUnicodeCodec {
public:
  static const TUnicodeCodecClassInfo classInfo;

  void Create() override;
  // The character of a byte; 0xFFFF for a byte the code page leaves undefined.
  virtual char16_t DecodeChar(uint8_t b) = 0;
  // The byte of a character; raises EConvertError when the code page has none.
  virtual uint8_t EncodeChar(char16_t c) = 0;
  virtual UCS4Char ByteToUCS4(uint8_t b);
  // Raises EConvertError for a value of 0x10000 or more, else EncodeChar.
  virtual uint8_t UCS4ToByte(UCS4Char ch);
  // The character set's name in messages.
  virtual const char* CharsetName() const = 0;

  // One byte, not governed by ErrorAction: DecodeChar's EConvertError passes
  // through, and an undefined byte is U+FFFF (noted, see UndefinedByte).
  void DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) override;
  // The byte the last DecodeUCS4Char found undefined, or -1; and the
  // message that names it ("$A5 is not a valid ISO-8859-3 code point").
  int UndefinedByte() const { return undefinedByte; }
  std::string UndefinedByteMessage();
  void EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  // Undefined bytes are U+FFFF; exceptions of DecodeChar follow ErrorAction
  // (eaRaise: EUnicodeCodecException at the byte's offset).
  void Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
              int32_t& bytesRead, int32_t& charsWritten) override;
  // Characters without a byte follow ErrorAction (eaReplace: ReplacementByte).
  void Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
              std::string& dest) override;

  uint8_t ReplacementByte() const { return replacementByte; }
  void SetReplacementByte(uint8_t value) { replacementByte = value; }

protected:
  // The character of a byte, or false with the error text when it has none.
  bool TryDecodeByte(uint8_t b, char16_t& c, std::string& error);

  uint8_t replacementByte = 0x20;
  int undefinedByte = -1;
};

// A code page held as a 256-entry table (0xFFFF: undefined); encoding takes
// the first byte whose entry equals the character.
class TTableSingleByteCodec : public TCustomSingleByteCodec {
public:
  char16_t DecodeChar(uint8_t b) override { return table[b]; }
  uint8_t EncodeChar(char16_t c) override;
  const char* CharsetName() const override { return name; }
  int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) override;
  int32_t DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                    int32_t maxChars) override;

protected:
  TTableSingleByteCodec(const char16_t* table_, const char* name_) : table(table_), name(name_) {}

private:
  const char16_t* const table;
  const char* const name;
};
