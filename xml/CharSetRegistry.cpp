#include "xml/CharSetRegistry.h"

#include <algorithm>
#include <memory>

#include "xml/CharSetNames.h"
#include "xml/UnicodeCodecs.h"

namespace {

struct TMibRange {
  int32_t low;
  int32_t high;
};
constexpr TMibRange kValidRanges[] = {{3, 106}, {109, 112}, {1000, 1015}, {2000, 2101}, {2250, 2259}};

const TCharSetNames* FindNames(int32_t mib) {
  const TCharSetNames* end = kCharSetNames + kCharSetNamesCount;
  const TCharSetNames* it =
      std::lower_bound(kCharSetNames, end, mib, [](const TCharSetNames& e, int32_t m) { return e.mib < m; });
  return it != end && it->mib == mib ? it : nullptr;
}

[[noreturn]] void RaiseInvalidMib() { throw Exception("Invalid MIB number"); }

struct TMibCodec {
  int32_t mib;
  TUnicodeCodecClass (*codecClass)();
};

template <class T>
TUnicodeCodecClass Ref() {
  return CodecClassOf<T>();
}

const TMibCodec kMibCodecs[] = {
    {3, Ref<TUSASCIICodec>},        {4, Ref<TISO8859_1Codec>},      {5, Ref<TISO8859_2Codec>},
    {6, Ref<TISO8859_3Codec>},      {7, Ref<TISO8859_4Codec>},      {8, Ref<TISO8859_5Codec>},
    {9, Ref<TISO8859_6Codec>},      {10, Ref<TISO8859_7Codec>},     {11, Ref<TISO8859_8Codec>},
    {12, Ref<TISO8859_9Codec>},     {13, Ref<TISO8859_10Codec>},    {15, Ref<TJIS_X0201Codec>},
    {106, Ref<TUTF8Codec>},         {109, Ref<TISO8859_13Codec>},   {110, Ref<TISO8859_14Codec>},
    {111, Ref<TISO8859_15Codec>},   {1000, Ref<TUCS2Codec>},        {1013, Ref<TUTF16BECodec>},
    {1014, Ref<TUTF16LECodec>},     {2009, Ref<TIBM850Codec>},      {2010, Ref<TIBM852Codec>},
    {2011, Ref<TIBM437Codec>},      {2013, Ref<TIBM862Codec>},      {2028, Ref<TIBM037Codec>},
    {2043, Ref<TIBM424Codec>},      {2044, Ref<TIBM500Codec>},      {2046, Ref<TIBM855Codec>},
    {2047, Ref<TIBM857Codec>},      {2048, Ref<TIBM860Codec>},      {2049, Ref<TIBM861Codec>},
    {2050, Ref<TIBM863Codec>},      {2051, Ref<TIBM864Codec>},      {2052, Ref<TIBM865Codec>},
    {2054, Ref<TIBM869Codec>},      {2063, Ref<TIBM1026Codec>},     {2084, Ref<TKOI8_RCodec>},
    {2086, Ref<TIBM866Codec>},      {2250, Ref<TWindows1250Codec>}, {2251, Ref<TWindows1251Codec>},
    {2252, Ref<TWindows1252Codec>}, {2253, Ref<TWindows1253Codec>}, {2254, Ref<TWindows1254Codec>},
    {2255, Ref<TWindows1255Codec>}, {2256, Ref<TWindows1256Codec>}, {2257, Ref<TWindows1257Codec>},
    {2258, Ref<TWindows1258Codec>},
};

TUnicodeCodecClass CodecClassOfMib(int32_t mib) {
  for (const TMibCodec& entry : kMibCodecs) {
    if (entry.mib == mib) return entry.codecClass();
  }
  return nullptr;
}

}  // namespace

void TCSMIB::Create(TComponent* owner) {
  TComponent::Create(owner);
  SetEnum(3);
}

void TCSMIB::DoChange() {
  if (onChange) onChange(this);
}

void TCSMIB::DoChanging(int32_t newEnum, bool& allowChange) {
  if (onChanging) onChanging(this, newEnum, allowChange);
}

std::string TCSMIB::GetPreferredMIMEName() {
  int32_t index = -1;
  int32_t e = enumValue;
  if (e == 3) index = 6;
  if (e >= 4 && e <= 12) index = 3;
  if (e == 13 || e == 17 || (e >= 37 && e <= 40) || e == 2025 || e == 2026 || e == 2084) index = 0;
  if (e == 18 || e == 82 || e == 84 || e == 85) index = 2;
  if (index < 0) return {};
  return GetAlias(index);
}

std::string TCSMIB::GetAlias(int32_t index) {
  const TCharSetNames* names = FindNames(enumValue);
  if (names == nullptr || index < 0 || index >= names->count) RaiseInvalidMib();
  return names->names[index];
}

int32_t TCSMIB::GetAliasCount() {
  const TCharSetNames* names = FindNames(enumValue);
  if (names == nullptr) RaiseInvalidMib();
  return names->count;
}

void TCSMIB::SetEnum(int32_t value) {
  if (!IsValidEnum(value)) {
    if (ignoreInvalidEnum) return;
    RaiseInvalidMib();
  }
  if (value == enumValue) return;
  bool allowChange = true;
  DoChanging(value, allowChange);
  if (!allowChange) return;
  enumValue = value;
  DoChange();
}

void TCSMIB::SetOnChange(TNotifyEvent value) { onChange = value; }

void TCSMIB::SetOnChanging(TCSMIBChangingEvent value) { onChanging = value; }

bool TCSMIB::IsValidEnum(int32_t value) {
  for (const TMibRange& r : kValidRanges) {
    if (value >= r.low && value <= r.high) return true;
  }
  return false;
}

bool TCSMIB::SetToAlias(std::string_view name) {
  int32_t remembered = enumValue;
  for (const TMibRange& r : kValidRanges) {
    for (int32_t mib = r.low; mib <= r.high; ++mib) {
      SetEnum(mib);
      const TCharSetNames* names = FindNames(enumValue);
      if (names == nullptr) continue;
      for (int32_t i = 0; i < names->count; ++i) {
        if (SameTextAscii(names->names[i], name)) return true;
      }
    }
  }
  SetEnum(remembered);
  return false;
}

TUnicodeCodecClass GetCodecClass(std::string_view name) {
  if (TUnicodeCodecClass found = GetEncodingClass(name)) return found;
  std::unique_ptr<TCSMIB> registry(New<TCSMIB>(nullptr));
  if (!registry->SetToAlias(name)) return nullptr;
  return CodecClassOfMib(registry->Enum());
}
