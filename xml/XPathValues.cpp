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

double TdomXPathStringResult::AsNumber() const { return XPathWideStrToNumber(value); }

std::u16string XPathNumberToWideStr(double value) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value > 0 ? u"Infinity" : u"-Infinity";
  // Written the same way whatever the user's locale: "0.5", never "0,5".
  std::string text = FloatGeneralText(value, 15);
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
