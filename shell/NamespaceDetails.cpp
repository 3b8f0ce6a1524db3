// Shell items: detail columns, icons and overlays.
#include "shell/Namespace.h"

#include "shell/ShellUtilities.h"
#include "shell/VirtualResources.h"
#include "shell/VirtualWideStrings.h"

namespace {

constexpr int kMaxColumns = 200;
constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

// Sets the error mode for a scope so that empty drives show no system dialog.
class TQuietErrors {
public:
  TQuietErrors() : old(SetErrorMode(kQuietErrorMode)) {}
  ~TQuietErrors() { SetErrorMode(old); }

private:
  UINT old;
};

template <class Ask>
int CountColumns(Ask ask) {
  int n = 0;
  while (n < kMaxColumns && ask(n)) ++n;
  return n >= kMaxColumns ? 0 : n;
}

std::u16string DetailText(SHELLDETAILS& details, LPCITEMIDLIST pidl) { return vws::StrRetToWideStr(details.str, pidl); }

}  // namespace

int TNamespace::DetailsDefaultSupportedColumns() { return 5; }

int TNamespace::DetailsSupportedColumns() {
  if ((cache.known & cColumns) != 0) return cache.supportedColumns;
  int n = 0;
  if (IShellFolder2* folder2 = GetShellFolder2()) {
    n = CountColumns([&](int column) {
      SHCOLSTATEF state = 0;
      return SUCCEEDED(folder2->GetDefaultColumnState(static_cast<UINT>(column), &state));
    });
    if (n == 0) {
      n = CountColumns([&](int column) {
        SHELLDETAILS details{};
        if (FAILED(folder2->GetDetailsOf(nullptr, static_cast<UINT>(column), &details))) return false;
        DetailText(details, nullptr);  // frees the shell's text
        return true;
      });
    }
  }
  if (n == 0) {
    if (IShellDetails* shellDetails_ = GetShellDetails()) {
      n = CountColumns([&](int column) {
        SHELLDETAILS details{};
        if (FAILED(shellDetails_->GetDetailsOf(nullptr, static_cast<UINT>(column), &details))) return false;
        DetailText(details, nullptr);
        return true;
      });
    }
  }
  if (n == 0) n = DetailsDefaultSupportedColumns();
  cache.supportedColumns = n;
  cache.known |= cColumns;
  return n;
}

std::u16string TNamespace::DetailsColumnTitle(int column) {
  SHELLDETAILS details{};
  if (IShellFolder2* folder2 = GetShellFolder2()) {
    if (SUCCEEDED(folder2->GetDetailsOf(nullptr, static_cast<UINT>(column), &details))) return DetailText(details, nullptr);
  } else if (IShellDetails* shellDetails_ = GetShellDetails()) {
    if (SUCCEEDED(shellDetails_->GetDetailsOf(nullptr, static_cast<UINT>(column), &details)))
      return DetailText(details, nullptr);
  }
  std::u16string title;
  DetailsDefaultColumnTitle(column, title);
  return title;
}

TColumnStates TNamespace::DetailsDefaultColumnState(int column) {
  if (column < 0 || column >= DetailsSupportedColumns()) return {};
  IShellFolder2* folder2 = GetShellFolder2();
  SHCOLSTATEF state = 0;
  if (folder2 == nullptr || FAILED(folder2->GetDefaultColumnState(static_cast<UINT>(column), &state)))
    return {csOnByDefault};
  TColumnStates states;
  switch (state & 0xF) {
    case SHCOLSTATE_TYPE_STR: states.Include(csTypeString); break;
    case SHCOLSTATE_TYPE_INT: states.Include(csTypeInteger); break;
    case SHCOLSTATE_TYPE_DATE: states.Include(csTypeDate); break;
    default: break;
  }
  if (state & SHCOLSTATE_ONBYDEFAULT) states.Include(csOnByDefault);
  if (state & SHCOLSTATE_SLOW) states.Include(csSlow);
  if (state & SHCOLSTATE_EXTENDED) states.Include(csExtended);
  if (state & SHCOLSTATE_SECONDARYUI) states.Include(csSecondaryUI);
  if (state & SHCOLSTATE_HIDDEN) states.Include(csHidden);
  return states;
}

std::u16string TNamespace::DetailsOf(int column) {
  TQuietErrors quiet;
  if (ParentShellFolder() != nullptr && !IsDesktop() && parent != nullptr && column < parent->DetailsSupportedColumns()) {
    SHELLDETAILS details{};
    if (IShellFolder2* folder2 = parent->GetShellFolder2()) {
      if (FAILED(folder2->GetDetailsOf(relativePIDL, static_cast<UINT>(column), &details))) return {};
      return DetailText(details, relativePIDL);
    }
    if (IShellDetails* shellDetails_ = parent->GetShellDetails()) {
      if (FAILED(shellDetails_->GetDetailsOf(relativePIDL, static_cast<UINT>(column), &details))) return {};
      return DetailText(details, relativePIDL);
    }
  }
  return DetailsDefaultOf(column);
}

void TNamespace::DetailsDefaultColumnTitle(int column, std::u16string& title) {
  if (column == -1) column = 0;
  if (column < 0 || column >= static_cast<int>(res::ColumnCaptions.size())) return;
  title = res::ColumnCaptions[static_cast<size_t>(column)];
}

std::u16string TNamespace::DetailsDefaultOf(int column) {
  switch (column) {
    case -1:
    case 0: return NameInFolder();
    case 1: return SizeOfFileKB();
    case 2: return IsRealFile() ? FileType() : std::u16string(res::SystemFolder);
    case 3: return LastWriteTime();
    case 4: return AttributesString();
    default: return {};
  }
}

int TNamespace::LookupIcon(bool openIcon, int iconSize) {
  if (IShellIcon* icon = GetShellIconInterface()) {
    int index = 0;
    if (SUCCEEDED(icon->GetIconOf(relativePIDL, openIcon ? GIL_OPENICON : 0, &index))) return index;
  }
  UINT shgfi = SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE;
  if (iconSize != 1) shgfi |= SHGFI_SMALLICON;
  if (openIcon) shgfi |= SHGFI_OPENICON;
  if (vws::UseWideApi()) {
    SHFILEINFOW info{};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolutePIDL), 0, &info, sizeof info, shgfi) == 0) return 0;
    return info.iIcon;
  }
  SHFILEINFOA info{};
  if (SHGetFileInfoA(reinterpret_cast<LPCSTR>(absolutePIDL), 0, &info, sizeof info, shgfi) == 0) return 0;
  return info.iIcon;
}

int TNamespace::GetIconIndex(bool openIcon, int iconSize, bool force) {
  if (openIcon) {
    if (force || cache.openIconIndex < 0) {
      ParentShellFolder();
      if (parent != nullptr && parent->IsControlPanel()) {
        cache.openIconIndex = LookupIcon(/*openIcon=*/false, iconSize);
      } else {
        cache.openIconIndex = LookupIcon(/*openIcon=*/true, iconSize);
        if (cache.openIconIndex == 0) cache.openIconIndex = LookupIcon(/*openIcon=*/false, iconSize);
      }
    }
    return cache.openIconIndex;
  }
  if (force || cache.iconIndex < 0) cache.iconIndex = LookupIcon(/*openIcon=*/false, iconSize);
  return cache.iconIndex;
}

int TNamespace::GetOverlayIndex() {
  if (parent == nullptr || (cache.known & cOverlay) != 0) return cache.overlayIndex;
  if (IShellIconOverlay* overlay = parent->GetShellIconOverlayInterface()) {
    if (cache.overlayIndex < 0) {
      int index = -1;
      if (FAILED(overlay->GetOverlayIndex(relativePIDL, &index))) index = -1;
      cache.overlayIndex = index;
    }
  }
  cache.known |= cOverlay;
  return cache.overlayIndex;
}
