#include "core/Format.h"

#include <cstdio>

#include "core/Exception.h"
#include "core/FloatText.h"
#include "core/SysUtils.h"

namespace {

// Widths and precisions beyond this are taken as a broken format string rather
// than a request for megabytes of padding.
constexpr int kMaxFieldSize = 1 << 20;

struct FormatError {};

// One parsed specifier.
struct Spec {
  bool leftAlign = false;
  int width = 0;
  int precision = -1;
  char type = 0;  // upper case
};

std::string UnsignedText(uint64_t value) { return std::to_string(value); }

// The bits of an integer argument as unsigned: negative 32-bit values as their
// 32-bit two's complement, 64-bit ones as 64-bit.
uint64_t UnsignedBits(const TVarRec& arg) {
  if (arg.VKind() == TVarRec::vtUnsigned || arg.Is64()) return static_cast<uint64_t>(arg.Integer());
  return static_cast<uint32_t>(static_cast<int32_t>(arg.Integer()));
}

bool IsInteger(const TVarRec& arg) {
  return arg.VKind() == TVarRec::vtInteger || arg.VKind() == TVarRec::vtUnsigned;
}

// Pads digits (with an optional leading '-') with zeros to precision digits.
std::string ZeroPad(std::string text, int precision) {
  bool negative = !text.empty() && text[0] == '-';
  int digits = static_cast<int>(text.size()) - (negative ? 1 : 0);
  if (precision > digits) text.insert(negative ? 1 : 0, static_cast<size_t>(precision - digits), '0');
  return text;
}

std::string DecimalText(const TVarRec& arg, const Spec& spec) {
  if (!IsInteger(arg)) throw FormatError();
  std::string text = arg.VKind() == TVarRec::vtUnsigned ? UnsignedText(static_cast<uint64_t>(arg.Integer()))
                                                        : std::to_string(arg.Integer());
  return ZeroPad(text, spec.precision);
}

std::string HexText(const TVarRec& arg, const Spec& spec) {
  if (!IsInteger(arg)) throw FormatError();
  return IntToHex(UnsignedBits(arg), spec.precision < 0 ? 0 : spec.precision);
}

std::string FloatText(const TVarRec& arg, const Spec& spec) {
  if (arg.VKind() != TVarRec::vtExtended) throw FormatError();
  double value = arg.Real();
  switch (spec.type) {
    case 'E':
      return FloatScientificText(value, spec.precision < 0 ? 15 : spec.precision);
    case 'F':
      return FloatFixedText(value, spec.precision < 0 ? 2 : spec.precision);
    case 'G':
      return FloatGeneralText(value, spec.precision < 0 ? 15 : spec.precision);
    default:  // 'N', 'M'
      return FloatNumberText(value, spec.precision < 0 ? 2 : spec.precision);
  }
}

std::string PointerText(const TVarRec& arg) {
  if (arg.VKind() != TVarRec::vtPointer) throw FormatError();
  return IntToHex(reinterpret_cast<uintptr_t>(arg.Pointer()), static_cast<int>(sizeof(void*) * 2));
}

// Text conversions into each output width.
std::string ToOutput(std::string_view text, char) { return std::string(text); }
std::string ToOutput(std::u16string_view text, char) { return WideToAnsi(text); }
std::u16string ToOutput(std::string_view text, char16_t) { return AnsiToWide(text); }
std::u16string ToOutput(std::u16string_view text, char16_t) { return std::u16string(text); }

template <class C>
std::basic_string<C> StringText(const TVarRec& arg, const Spec& spec) {
  std::basic_string<C> text;
  switch (arg.VKind()) {
    case TVarRec::vtString:
      text = ToOutput(arg.Text(), C());
      break;
    case TVarRec::vtWideString:
      text = ToOutput(arg.WideText(), C());
      break;
    case TVarRec::vtChar: {
      char c = static_cast<char>(arg.Integer());
      text = ToOutput(std::string_view(&c, 1), C());
      break;
    }
    case TVarRec::vtWideChar: {
      char16_t c = static_cast<char16_t>(arg.Integer());
      text = ToOutput(std::u16string_view(&c, 1), C());
      break;
    }
    default:
      throw FormatError();
  }
  if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < text.size())
    text.resize(static_cast<size_t>(spec.precision));
  return text;
}

template <class C>
std::basic_string<C> Widen(const std::string& ascii) {
  return std::basic_string<C>(ascii.begin(), ascii.end());
}

template <class C>
class Formatter {
public:
  Formatter(std::basic_string_view<C> fmt_, std::initializer_list<TVarRec> args_)
      : fmt(fmt_), args(args_.begin()), argCount(args_.size()) {}

  std::basic_string<C> Run() {
    std::basic_string<C> out;
    out.reserve(fmt.size() + 16);
    while (pos < fmt.size()) {
      C c = fmt[pos++];
      if (c != C('%')) {
        out += c;
        continue;
      }
      if (pos < fmt.size() && fmt[pos] == C('%')) {
        out += C('%');
        ++pos;
        continue;
      }
      Spec spec = ParseSpec();
      std::basic_string<C> text = Convert(spec, NextArg());
      if (static_cast<int>(text.size()) < spec.width) {
        size_t fill = static_cast<size_t>(spec.width) - text.size();
        if (spec.leftAlign)
          text.append(fill, C(' '));
        else
          text.insert(0, fill, C(' '));
      }
      out += text;
    }
    return out;
  }

private:
  bool AtDigit() const { return pos < fmt.size() && fmt[pos] >= C('0') && fmt[pos] <= C('9'); }

  // A decimal number, "*" (the next argument), or -1 when neither is there.
  int ReadNumber() {
    if (pos < fmt.size() && fmt[pos] == C('*')) {
      ++pos;
      const TVarRec& arg = NextArg();
      if (!IsInteger(arg)) throw FormatError();
      int64_t value = arg.Integer();
      if (arg.VKind() == TVarRec::vtUnsigned && value < 0) throw FormatError();
      if (value > kMaxFieldSize) throw FormatError();
      return value < 0 ? -1 : static_cast<int>(value);
    }
    if (!AtDigit()) return -1;
    int value = 0;
    while (AtDigit()) {
      value = value * 10 + static_cast<int>(fmt[pos++] - C('0'));
      if (value > kMaxFieldSize) throw FormatError();
    }
    return value;
  }

  Spec ParseSpec() {
    Spec spec;
    int number = ReadNumber();
    if (pos < fmt.size() && fmt[pos] == C(':')) {
      ++pos;
      if (number < 0) throw FormatError();
      next = static_cast<size_t>(number);
      number = -1;
    }
    if (number < 0) {
      if (pos < fmt.size() && fmt[pos] == C('-')) {
        spec.leftAlign = true;
        ++pos;
      }
      number = ReadNumber();
    }
    spec.width = number < 0 ? 0 : number;
    if (pos < fmt.size() && fmt[pos] == C('.')) {
      ++pos;
      spec.precision = ReadNumber();
    }
    if (pos >= fmt.size()) throw FormatError();
    C type = fmt[pos++];
    if (type >= C('a') && type <= C('z')) type = static_cast<C>(type - 32);
    if (type < C('A') || type > C('Z')) throw FormatError();
    spec.type = static_cast<char>(type);
    return spec;
  }

  const TVarRec& NextArg() {
    if (next >= argCount) throw FormatError();
    return args[next++];
  }

  std::basic_string<C> Convert(const Spec& spec, const TVarRec& arg) {
    switch (spec.type) {
      case 'D':
        return Widen<C>(DecimalText(arg, spec));
      case 'U': {
        if (!IsInteger(arg)) throw FormatError();
        return Widen<C>(ZeroPad(UnsignedText(UnsignedBits(arg)), spec.precision));
      }
      case 'X':
        return Widen<C>(HexText(arg, spec));
      case 'E':
      case 'F':
      case 'G':
      case 'N':
      case 'M':
        return Widen<C>(FloatText(arg, spec));
      case 'P':
        return Widen<C>(PointerText(arg));
      case 'S':
        return StringText<C>(arg, spec);
      default:
        throw FormatError();
    }
  }

  std::basic_string_view<C> fmt;
  const TVarRec* args;
  size_t argCount;
  size_t pos = 0;
  size_t next = 0;
};

}  // namespace

std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args) {
  try {
    return Formatter<char>(fmt, args).Run();
  } catch (const FormatError&) {
    throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
  }
}

std::u16string WideFormat(std::u16string_view fmt, std::initializer_list<TVarRec> args) {
  try {
    return Formatter<char16_t>(fmt, args).Run();
  } catch (const FormatError&) {
    throw EConvertError("Format '" + WideToAnsi(fmt) + "' invalid or incompatible with argument");
  }
}
