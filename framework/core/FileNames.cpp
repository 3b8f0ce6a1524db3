// File-name parts of SysUtils.h, for 8-bit and wide names alike.
#include "core/SysUtils.h"

namespace {

template <class C>
bool IsDelimiter(C c) {
  return c == C('\\') || c == C('/');
}

// The index just after the last delimiter or drive colon (0 when none).
template <class C>
size_t NameStart(std::basic_string_view<C> fileName) {
  for (size_t i = fileName.size(); i > 0; --i)
    if (IsDelimiter(fileName[i - 1]) || fileName[i - 1] == C(':')) return i;
  return 0;
}

// The index of the extension's dot inside the name part, or npos.
template <class C>
size_t ExtStart(std::basic_string_view<C> fileName) {
  size_t start = NameStart(fileName);
  size_t dot = fileName.rfind(C('.'));
  if (dot == std::basic_string_view<C>::npos || dot < start) return std::basic_string_view<C>::npos;
  return dot;
}

template <class C>
std::basic_string<C> FilePath(std::basic_string_view<C> fileName) {
  return std::basic_string<C>(fileName.substr(0, NameStart(fileName)));
}

template <class C>
std::basic_string<C> FileName(std::basic_string_view<C> fileName) {
  return std::basic_string<C>(fileName.substr(NameStart(fileName)));
}

template <class C>
std::basic_string<C> FileExt(std::basic_string_view<C> fileName) {
  size_t dot = ExtStart(fileName);
  if (dot == std::basic_string_view<C>::npos) return {};
  return std::basic_string<C>(fileName.substr(dot));
}

template <class C>
std::basic_string<C> ChangeExt(std::basic_string_view<C> fileName, std::basic_string_view<C> extension) {
  size_t dot = ExtStart(fileName);
  std::basic_string<C> out(fileName.substr(0, dot == std::basic_string_view<C>::npos ? fileName.size() : dot));
  out += extension;
  return out;
}

template <class C>
std::basic_string<C> IncludeDelimiter(std::basic_string_view<C> path) {
  std::basic_string<C> out(path);
  if (out.empty() || !IsDelimiter(out.back())) out += C('\\');
  return out;
}

template <class C>
std::basic_string<C> ExcludeDelimiter(std::basic_string_view<C> path) {
  std::basic_string<C> out(path);
  if (!out.empty() && IsDelimiter(out.back())) out.pop_back();
  return out;
}

}  // namespace

std::string ExtractFilePath(std::string_view fileName) { return FilePath(fileName); }
std::string ExtractFileName(std::string_view fileName) { return FileName(fileName); }
std::string ExtractFileExt(std::string_view fileName) { return FileExt(fileName); }
std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
  return ChangeExt(fileName, extension);
}
std::string IncludeTrailingPathDelimiter(std::string_view path) { return IncludeDelimiter(path); }
std::string ExcludeTrailingPathDelimiter(std::string_view path) { return ExcludeDelimiter(path); }

std::u16string WideExtractFilePath(std::u16string_view fileName) { return FilePath(fileName); }
std::u16string WideExtractFileName(std::u16string_view fileName) { return FileName(fileName); }
std::u16string WideExtractFileExt(std::u16string_view fileName) { return FileExt(fileName); }
std::u16string WideChangeFileExt(std::u16string_view fileName, std::u16string_view extension) {
  return ChangeExt(fileName, extension);
}
std::u16string WideIncludeTrailingPathDelimiter(std::u16string_view path) { return IncludeDelimiter(path); }
std::u16string WideExcludeTrailingPathDelimiter(std::u16string_view path) { return ExcludeDelimiter(path); }
