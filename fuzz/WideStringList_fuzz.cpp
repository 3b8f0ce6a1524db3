// Wide string list streams (untrusted: files and saved settings): any bytes
// load, as UTF-16 with either byte-order mark or as ANSI text; what loaded
// saves as UTF-16 with its mark and loads back to the same strings; sorted
// lists stay sorted and keep every string. The system's case-insensitive
// comparison and ANSI conversion are stood in for by ASCII rules here.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "shell/VirtualWideStrings.h"
#include "shell/WideFileStream.h"
#include "shell/WideStringList.h"

namespace vws {
int WideStrICompOS(const char16_t* a, const char16_t* b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  for (;; ++a, ++b) {
    char16_t x = lower(*a), y = lower(*b);
    if (x != y || x == 0) return x < y ? -1 : x > y ? 1 : 0;
  }
}
std::u16string FromAnsi(std::string_view text) { return std::u16string(text.begin(), text.end()); }
std::string ToAnsi(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x100 ? char(c) : '?';
  return out;
}
bool UseWideApi() { return true; }
}  // namespace vws

TWideFileStream::~TWideFileStream() = default;
void TWideFileStream::Create(const std::u16string& name, uint16_t) {
  throw EFCreateError("Cannot create file " + vws::ToAnsi(name));
}

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "WideStringList_fuzz: %s\n", what);
  std::abort();
}

std::u16string Joined(TWideStringList* list) {
  std::u16string out;
  for (int i = 0; i < list->Count(); ++i) out += list->Strings(i) + u'\n';
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  TMemoryStream stream;
  if (size > 0) stream.WriteBuffer(data, static_cast<int32_t>(size));
  stream.SetPosition(0);
  TWideStringList* list = New<TWideStringList>();
  list->LoadFromStream(&stream);
  Check(stream.Position() == stream.Size(), "loading did not read the whole stream");

  TMemoryStream saved;
  list->SaveToStream(&saved);
  saved.SetPosition(0);
  TWideStringList* again = New<TWideStringList>();
  again->LoadFromStream(&saved);
  Check(Joined(again) == Joined(list), "saved strings load back differently");

  TWideStringList* sorted = New<TWideStringList>();
  sorted->SetDuplicates(dupAccept);
  sorted->SetSorted(true);
  sorted->AddStrings(list);
  Check(sorted->Count() == list->Count(), "a sorted copy lost strings");
  for (int i = 1; i < sorted->Count(); ++i)
    Check(vws::WideStrICompOS(sorted->Strings(i - 1).c_str(), sorted->Strings(i).c_str()) <= 0, "not sorted");
  for (int i = 0; i < list->Count(); ++i) {
    int index = -1;
    Check(sorted->Find(list->Strings(i), index), "a string is not found in the sorted copy");
  }
  sorted->Free();
  again->Free();
  list->Free();
  return 0;
}
