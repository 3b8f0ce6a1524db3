// Form definitions (resources and files a user may have edited): any text
// parses or raises EFormError; what parses is written back in the format and
// read again to the same tree (values, kinds and nesting; not line numbers).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win/FormReader.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "FormDefinition_fuzz: %s\n", what);
  std::abort();
}

void WriteValue(const TFormValue& v, std::string& out);

void WriteProperties(const std::vector<TFormProperty>& properties, std::string& out) {
  for (const TFormProperty& p : properties) {
    out += p.path + " = ";
    WriteValue(p.value, out);
    out += ";\n";
  }
}

void WriteInteger(int64_t value, std::string& out) {
  // Decimal up to 18 digits, as the reader takes it; anything else as the
  // 64-bit pattern in hex.
  if (value > -1000000000000000000 && value < 1000000000000000000) {
    out += std::to_string(value);
    return;
  }
  char hex[24];
  std::snprintf(hex, sizeof hex, "$%llX", static_cast<unsigned long long>(value));
  out += hex;
}

void WriteFloat(double value, std::string& out) {
  if (std::isinf(value)) {
    out += value < 0 ? "-1e999" : "1e999";
    return;
  }
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  out += text;
  if (std::strpbrk(text, ".e") == nullptr) out += ".0";
}

void WriteValue(const TFormValue& v, std::string& out) {
  switch (v.kind) {
    case TFormValue::vkInteger: WriteInteger(v.integer, out); break;
    case TFormValue::vkFloat: WriteFloat(v.real, out); break;
    case TFormValue::vkString: out += QuoteFormString(v.text); break;
    case TFormValue::vkIdent: out += v.text; break;
    case TFormValue::vkSet:
      out += "[";
      for (size_t i = 0; i < v.names.size(); ++i) out += (i ? ", " : "") + v.names[i];
      out += "]";
      break;
    case TFormValue::vkList:
      out += "(";
      for (size_t i = 0; i < v.list.size(); ++i) {
        if (i) out += ", ";
        WriteValue(v.list[i], out);
      }
      out += ")";
      break;
    case TFormValue::vkCollection:
      out += "<";
      for (const auto& item : v.items) {
        out += " item {\n";
        WriteProperties(item, out);
        out += "}";
      }
      out += " >";
      break;
    case TFormValue::vkBinary: {
      out += "{";
      static const char* hex = "0123456789ABCDEF";
      for (uint8_t b : v.bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
      }
      out += "}";
      break;
    }
  }
}

void WriteObject(const TFormObject& obj, std::string& out) {
  out += obj.className + " " + obj.name + " {\n";
  WriteProperties(obj.properties, out);
  for (const TFormObject& child : obj.children) WriteObject(child, out);
  out += "}\n";
}

bool SameValue(const TFormValue& a, const TFormValue& b);

bool SameProperties(const std::vector<TFormProperty>& a, const std::vector<TFormProperty>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].path != b[i].path || !SameValue(a[i].value, b[i].value)) return false;
  }
  return true;
}

bool SameValue(const TFormValue& a, const TFormValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case TFormValue::vkInteger: return a.integer == b.integer;
    case TFormValue::vkFloat: return std::memcmp(&a.real, &b.real, sizeof a.real) == 0;
    case TFormValue::vkString:
    case TFormValue::vkIdent: return a.text == b.text;
    case TFormValue::vkSet: return a.names == b.names;
    case TFormValue::vkList:
      if (a.list.size() != b.list.size()) return false;
      for (size_t i = 0; i < a.list.size(); ++i) {
        if (!SameValue(a.list[i], b.list[i])) return false;
      }
      return true;
    case TFormValue::vkCollection:
      if (a.items.size() != b.items.size()) return false;
      for (size_t i = 0; i < a.items.size(); ++i) {
        if (!SameProperties(a.items[i], b.items[i])) return false;
      }
      return true;
    case TFormValue::vkBinary: return a.bytes == b.bytes;
  }
  return false;
}

bool SameObject(const TFormObject& a, const TFormObject& b) {
  if (a.className != b.className || a.name != b.name || !SameProperties(a.properties, b.properties)) return false;
  if (a.children.size() != b.children.size()) return false;
  for (size_t i = 0; i < a.children.size(); ++i) {
    if (!SameObject(a.children[i], b.children[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TFormObject first;
  try {
    first = ParseFormDefinition(text);
  } catch (const EFormError&) {
    return 0;
  }
  std::string written;
  WriteObject(first, written);
  TFormObject second;
  try {
    second = ParseFormDefinition(written);
  } catch (const EFormError& e) {
    std::fprintf(stderr, "%s\n%s\n", e.Message().c_str(), written.c_str());
    Fail("a written definition does not read back");
  }
  if (!SameObject(first, second)) Fail("read, write, read changed the definition");
  return 0;
}
