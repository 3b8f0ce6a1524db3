// The scalar results and the conversions between result types.
#include "xml/XPathValues.h"

#include <cmath>
#include <utility>

#include "core/FloatText.h"
#include "xml/DomException.h"
#include "xml/ParserUtilsXPathNumbers.h"

void TdomXPathBooleanResult::Create(bool value_) {
  TdomXPathCustomResult::Create();
  value = value_;
}

void TdomXPathNumberResult::Create(double value_) {
  TdomXPathCustomResult::Create();
  value = value_;
}

bool TdomXPathNumberResult::AsBoolean() const { return !(value == 0.0 || std::isnan(value)); }

std::u16string TdomXPathNumberResult::AsWideString() const { return XPathNumberToWideStr(value); }

void TdomXPathStringResult::Create(std::u16string value_) {
  TdomXPathCustomResult::Create();
  value = std::move(value_);
}

double TdomXPathStringResult::AsNumber() const { return XPathTextToNumber(value); }

std::u16string XPathNumberToWideStr(double value) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value > 0 ? u"Infinity" : u"-Infinity";
  // Fifteen significant digits, written out in full whatever the magnitude
  // ("1000000000000000", "0.00000015"), so that the number reader, which
  // takes no exponent, reads every such text back; the same whatever the
  // user's locale: "0.5", never "0,5".
  std::string scientific = FloatScientificText(value, 15);  // "-1.23450000000000E+020"
  size_t e = scientific.find('E');
  bool negative = scientific[0] == '-';
  std::string digits;
  for (size_t i = negative ? 1 : 0; i < e; ++i) {
    if (scientific[i] != '.') digits += scientific[i];
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) return u"0";  // either zero, and what rounds to it
  int exponent = std::stoi(scientific.substr(e + 1));
  std::string text = negative ? "-" : "";
  int count = static_cast<int>(digits.size());
  if (exponent < 0) {
    text += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else if (exponent + 1 >= count) {
    text += digits + std::string(static_cast<size_t>(exponent + 1 - count), '0');
  } else {
    text += digits.substr(0, static_cast<size_t>(exponent + 1)) + "." + digits.substr(static_cast<size_t>(exponent + 1));
  }
  return std::u16string(text.begin(), text.end());
}

namespace {

void CheckAssigned(const TdomXPathCustomResult* result) {
  if (result == nullptr) throw ENot_Supported_Err();
}

}  // namespace

TdomXPathCustomResult* XPathToBoolean(TdomXPathCustomResult* result) {
  CheckAssigned(result);
  if (result->ResultType() == XPATH_BOOLEAN_TYPE) return result;
  TdomXPathResultPtr<> old(result);
  return New<TdomXPathBooleanResult>(old->AsBoolean());
}

TdomXPathCustomResult* XPathToNumber(TdomXPathCustomResult* result) {
  CheckAssigned(result);
  if (result->ResultType() == XPATH_NUMBER_TYPE) return result;
  TdomXPathResultPtr<> old(result);
  return New<TdomXPathNumberResult>(old->AsNumber());
}

TdomXPathCustomResult* XPathToString(TdomXPathCustomResult* result) {
  CheckAssigned(result);
  if (result->ResultType() == XPATH_STRING_TYPE) return result;
  TdomXPathResultPtr<> old(result);
  return New<TdomXPathStringResult>(old->AsWideString());
}
