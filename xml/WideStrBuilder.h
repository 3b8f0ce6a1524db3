#pragma once
// TUtilsCustomWideStr: a growable UTF-16 string builder. Capacity starts at 64
// code units and grows by a quarter whenever the text would not fit.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Object.h"

class TUtilsCustomWideStr : public TObject {
public:
  TUtilsCustomWideStr();

  // The unit at a 1-based index; EListError "List index out of bounds (%d)" outside 1..Length.
  virtual char16_t GetWideChar(int index) const;
  virtual void SetWideChar(int index, char16_t c);
  // One unit below 0x10000, a surrogate pair up to 0x10FFFF. Surrogate code
  // points and values above 0x10FFFF raise EConvertError "%d is not a valid
  // ISO-10646-UCS4 code point" (decimal).
  virtual void AddUCS4Char(uint32_t codePoint);
  virtual void AddWideChar(char16_t c);
  virtual void AddWideString(std::u16string_view s);
  // False for an empty s or one longer than the value.
  virtual bool EndsWith(std::u16string_view s) const;
  // Same length and units (an empty s equals an empty value).
  virtual bool IsEqual(std::u16string_view s) const;
  // Length 0, capacity 64.
  virtual void Clear();
  // False for an empty s or one longer than the value.
  virtual bool StartsWith(std::u16string_view s) const;
  // The first Length units as a new string.
  virtual std::u16string GetValue() const;

  int Length() const { return length; }
  int Capacity() const { return capacity; }

private:
  void Reserve(int64_t needed);
  std::u16string_view View() const { return std::u16string_view(content.data(), length); }

  int length = 0;
  int capacity = 0;
  std::u16string content;  // capacity units, the first length in use
};
