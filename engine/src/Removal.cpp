#include "Removal.h"

#include "Text.h"

namespace qv::engine {
namespace {

constexpr int kTries = 10;
constexpr DWORD kPauseMs = 50;

bool IsPassing(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

template <typename Remove>
bool Retrying(Remove remove) {
  for (int attempt = 1;; ++attempt) {
    if (remove()) return true;
    DWORD error = GetLastError();
    if (attempt == kTries || !IsPassing(error)) return false;
    Sleep(kPauseMs);
    SetLastError(error);
  }
}

}  // namespace

bool DeleteFileRetrying(const std::u16string& path) {
  return Retrying([&] { return DeleteFileW(W(path)) != FALSE; });
}

bool RemoveFolderRetrying(const std::u16string& path) {
  return Retrying([&] { return RemoveDirectoryW(W(path)) != FALSE; });
}

}  // namespace qv::engine
