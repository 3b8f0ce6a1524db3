#pragma once
// Encoding names to codec classes, the registry of character-set names and
// MIB numbers (TCSMIB), and the UTF-16 surrogate arithmetic.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Component.h"
#include "core/Events.h"
#include "xml/UnicodeCodec.h"

using TCSMIBChangingEvent = TEvent<void(TObject* sender, int32_t newEnum, bool& allowChange)>;

// One registered character set, chosen by MIB number (Enum, default 3 US-ASCII).
class TCSMIB : public TComponent {
public:
  void Create(TComponent* owner) override;

  virtual void DoChange();
  virtual void DoChanging(int32_t newEnum, bool& allowChange);
  // The name the registry prefers for MIME; empty when it marks none.
  virtual std::string GetPreferredMIMEName();
  // The name at index (0: the registered name); raises Exception "Invalid MIB number" beyond the names.
  virtual std::string GetAlias(int32_t index);
  // The number of names of Enum.
  virtual int32_t GetAliasCount();
  // An invalid number raises Exception "Invalid MIB number" (ignored when
  // IgnoreInvalidEnum); an unchanged one does nothing; OnChanging may veto.
  virtual void SetEnum(int32_t value);
  virtual void SetOnChange(TNotifyEvent value);
  virtual void SetOnChanging(TCSMIBChangingEvent value);
  // Whether value lies in 3..106, 109..112, 1000..1015, 2000..2101 or 2250..2259.
  virtual bool IsValidEnum(int32_t value);
  // Walks every valid number in ascending order (through SetEnum, so the
  // events fire) until one of its names equals name, ASCII case ignored; on
  // failure restores Enum and returns false.
  virtual bool SetToAlias(std::string_view name);

  int32_t Enum() const { return enumValue; }
  bool IgnoreInvalidEnum() const { return ignoreInvalidEnum; }
  void SetIgnoreInvalidEnum(bool value) { ignoreInvalidEnum = value; }
  TNotifyEvent OnChange() const { return onChange; }
  TCSMIBChangingEvent OnChanging() const { return onChanging; }

private:
  int32_t enumValue = 0;
  bool ignoreInvalidEnum = false;
  TNotifyEvent onChange;
  TCSMIBChangingEvent onChanging;
};

// The codec class of an encoding name: the alias table first, then the
// registry; nullptr when the name is unknown or its set has no codec.
TUnicodeCodecClass GetCodecClass(std::string_view name);

// The surrogates of a code point in 0x10000..0x10FFFF.
inline char16_t Utf16HighSurrogate(uint32_t codePoint) { return static_cast<char16_t>((codePoint >> 10) + 0xD7C0); }
inline char16_t Utf16LowSurrogate(uint32_t codePoint) { return static_cast<char16_t>((codePoint & 0x3FF) ^ 0xDC00); }
inline bool IsUtf16HighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsUtf16LowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
