// The version strings of the utility unit and the JPEG resources.
#include <windows.h>

#include <vector>

#include "Utils.h"
#include "core/ResourceStream.h"
#include "win/TextConvert.h"
#include "win/graphics/Jpeg.h"

std::string FileDescription;
std::string FileVersion;
std::string ProductName;
std::string ProductVersion;
std::string BuildNumber;

namespace {

// The string of key in the U.S. English / code page 1252 table, or "" when absent.
std::string QueryVersionString(std::vector<uint8_t>& data, const char16_t* key) {
  std::u16string path = std::u16string(u"\\StringFileInfo\\040904E4\\") + key;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), reinterpret_cast<LPCWSTR>(path.c_str()), &value, &length) || value == nullptr)
    return {};
  std::u16string text(static_cast<const char16_t*>(value), length);
  size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return WideToAnsi(text);
}

}  // namespace

void ReadVersionInfoFrom(const std::string& path) {
  if (path.empty()) return;
  std::u16string wide = AnsiToWide(path);
  LPCWSTR file = reinterpret_cast<LPCWSTR>(wide.c_str());
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(file, &handle);
  if (size == 0) return;
  std::vector<uint8_t> data(size);
  if (!GetFileVersionInfoW(file, 0, size, data.data())) return;
  FileDescription = QueryVersionString(data, u"FileDescription");
  FileVersion = QueryVersionString(data, u"FileVersion");
  ProductName = QueryVersionString(data, u"ProductName");
  ProductVersion = QueryVersionString(data, u"ProductVersion");
  BuildNumber = BuildNumberOf(FileVersion);
}

void ReadVersionInfo() { ReadVersionInfoFrom(GetExecutablePath()); }

void InitializeUtils() { ReadVersionInfo(); }

void LoadJPEGResourceFrom(HINSTANCE instance, const std::string& resourceName, TPicture* dest) {
  std::u16string name = AnsiToWide(resourceName);
  TResourceStream* stream = New<TResourceStream>(reinterpret_cast<THandle>(instance), name.c_str(), u"JPEG");
  TJPEGImage* image = nullptr;
  try {
    image = New<TJPEGImage>();
    image->LoadFromStream(stream);
    if (dest != nullptr) dest->SetGraphic(image);
  } catch (...) {
    if (image != nullptr) image->Free();
    stream->Free();
    throw;
  }
  image->Free();
  stream->Free();
}

void LoadJPEGResource(const std::string& resourceName, TPicture* dest) {
  LoadJPEGResourceFrom(nullptr, resourceName, dest);
}
