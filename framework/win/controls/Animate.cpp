#include "win/controls/ComCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kCommonAVINames = {"aviNone",     "aviFindFolder",   "aviFindFile",
                                    "aviFindComputer", "aviCopyFiles", "aviCopyFile",
                                    "aviRecycleFile",  "aviEmptyRecycle", "aviDeleteFile"};

// The resource number of each animation in shell32 (0 for none).
const WORD kCommonAVIResources[] = {0, 150, 151, 152, 160, 161, 162, 163, 164};

const TClassRegistrar<TAnimate, TWinControl> kAnimateRegistrar("TAnimate", {
    EnumProp("CommonAVI", &TAnimate::CommonAVI, &TAnimate::SetCommonAVI, kCommonAVINames),
    Prop("Active", &TAnimate::Active, &TAnimate::SetActive),
});

}  // namespace

void TAnimate::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Exclude(csAcceptsControls).Exclude(csSetCaption);
  SetControlStyle(style);
  SetBounds(0, 0, 100, 80);
}

void TAnimate::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"SysAnimate32");
  // Frames come by the control's own timer on this thread: no painting thread of its own.
  params.Style |= ACS_CENTER | ACS_TRANSPARENT | ACS_TIMER;
}

void TAnimate::CreateWnd() {
  TWinControl::CreateWnd();
  ApplyAnimation();
}

void TAnimate::DestroyWnd() {
  if (opened) SendMessageW(Handle(), ACM_OPENW, 0, 0);
  opened = false;
  TWinControl::DestroyWnd();
}

void TAnimate::ApplyAnimation() {
  if (!HandleAllocated()) return;
  HWND hwnd = Handle();
  opened = false;
  if (commonAVI == aviNone) {
    SendMessageW(hwnd, ACM_OPENW, 0, 0);
    return;
  }
  // The animations are resources of shell32 (kept loaded once loaded here);
  // a system without them shows no animation.
  HMODULE shell32 = GetModuleHandleW(L"shell32.dll");
  if (shell32 == nullptr) shell32 = LoadLibraryW(L"shell32.dll");
  if (shell32 == nullptr) return;
  opened = SendMessageW(hwnd, ACM_OPENW, reinterpret_cast<WPARAM>(shell32),
                        reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kCommonAVIResources[commonAVI]))) != 0;
  if (opened && active) SendMessageW(hwnd, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
}

void TAnimate::SetCommonAVI(TCommonAVI value) {
  if (value == commonAVI) return;
  commonAVI = value;
  ApplyAnimation();
}

void TAnimate::SetActive(bool value) {
  if (value == active) return;
  active = value;
  if (!opened) return;
  if (active) {
    SendMessageW(Handle(), ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
  } else {
    SendMessageW(Handle(), ACM_STOP, 0, 0);
    SendMessageW(Handle(), ACM_PLAY, 1, MAKELPARAM(0, 0));
  }
}
