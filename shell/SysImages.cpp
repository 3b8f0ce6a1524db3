#include "shell/SysImages.h"

#include "shell/VirtualWideStrings.h"

namespace {

VirtualSysImages* smallImages = nullptr;
VirtualSysImages* largeImages = nullptr;
VirtualSysImages* extraLargeImages = nullptr;
HMODULE shell32ForImageList = nullptr;  // loaded for SHGetImageList, freed at exit

constexpr int kShilExtraLarge = 2;
// IID_IImageList {46EB5926-582E-4017-9FDF-E8998DAA0950}.
const IID kIIDImageList = {0x46EB5926, 0x582E, 0x4017, {0x9F, 0xDF, 0xE8, 0x99, 0x8D, 0xAA, 0x09, 0x50}};

using TSHGetImageList = HRESULT(WINAPI*)(int kind, REFIID iid, void** list);

HRESULT GetImageList(int kind, REFIID iid, void** list) {
  if (!vws::UseWideApi()) return E_NOTIMPL;
  if (shell32ForImageList == nullptr) shell32ForImageList = LoadLibraryA("shell32.dll");
  if (shell32ForImageList == nullptr) return E_NOTIMPL;
  auto get = reinterpret_cast<TSHGetImageList>(
      reinterpret_cast<void*>(GetProcAddress(shell32ForImageList, MAKEINTRESOURCEA(727))));
  if (get == nullptr) return E_NOTIMPL;
  return get(kind, iid, list);
}

VirtualSysImages* MakeList(int size) {
  auto* list = New<VirtualSysImages>(static_cast<TComponent*>(nullptr));
  list->SetImageSize(size);
  return list;
}

// Frees the global lists at exit.
struct TSysImagesUnit {
  ~TSysImagesUnit() {
    FreeAndNil(smallImages);
    FreeAndNil(largeImages);
    FreeAndNil(extraLargeImages);
    if (shell32ForImageList != nullptr) FreeLibrary(shell32ForImageList);
    shell32ForImageList = nullptr;
  }
} sysImagesUnit;

}  // namespace

VirtualSysImages::~VirtualSysImages() {
  ReleaseAndNil(extraLargeList);
}

void VirtualSysImages::Create(TComponent* owner) {
  TImageList::Create(owner);
  SetShareImages(true);
  SetDrawingStyle(dsTransparent);
  SetWidth(GetSystemMetrics(SM_CXSMICON));
  SetHeight(GetSystemMetrics(SM_CYSMICON));
}

void VirtualSysImages::Bind() {
  if (!bound) Flush();
}

void VirtualSysImages::SetImageSize(int value) {
  imageSize = value;
  Flush();
}

void VirtualSysImages::BindLarge(bool large) {
  LPITEMIDLIST desktop = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop)) || desktop == nullptr) return;
  SHFILEINFOA info{};
  UINT flags = SHGFI_SYSICONINDEX | SHGFI_PIDL | (large ? 0 : SHGFI_SMALLICON);
  auto list = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(reinterpret_cast<LPCSTR>(desktop), 0, &info, sizeof info, flags));
  CoTaskMemFree(desktop);
  if (list != nullptr) SetHandle(list);
}

void VirtualSysImages::Flush() {
  bound = true;
  SetHandle(nullptr);
  if (imageSize != 2) {
    BindLarge(imageSize == 1);
    return;
  }
  ReleaseAndNil(extraLargeList);
  void* list = nullptr;
  if (SUCCEEDED(GetImageList(kShilExtraLarge, kIIDImageList, &list)) && list != nullptr) {
    extraLargeList = static_cast<IUnknown*>(list);
    // An IImageList of the system list is also its HIMAGELIST.
    SetHandle(reinterpret_cast<HIMAGELIST>(list));
    return;
  }
  BindLarge(/*large=*/true);
}

VirtualSysImages* SmallSysImages() {
  SmallSysImagesUnbound()->Bind();
  return smallImages;
}

VirtualSysImages* SmallSysImagesUnbound() {
  if (smallImages == nullptr) smallImages = New<VirtualSysImages>(static_cast<TComponent*>(nullptr));
  return smallImages;
}

VirtualSysImages* LargeSysImages() {
  if (largeImages == nullptr) largeImages = MakeList(1);
  return largeImages;
}

VirtualSysImages* ExtraLargeSysImages() {
  if (extraLargeImages == nullptr) extraLargeImages = MakeList(2);
  return extraLargeImages;
}

void FlushImageLists() {
  if (smallImages != nullptr) smallImages->Flush();
  if (largeImages != nullptr) largeImages->Flush();
  if (extraLargeImages != nullptr) extraLargeImages->Flush();
}
