#pragma once
// Window messages of the control layer: the message record handed to
// WndProc/Dispatch, the layer's own notification messages (CM_*) and the
// reflected control notifications (CN_*).
//
// CM_* messages travel through Perform and Dispatch like any window message;
// they are never posted across processes. CN_* messages are the parent's
// WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*, WM_DRAWITEM... handed back to the child
// control they concern, so a control handles its own notifications.
#include <windows.h>

#include <cstdint>
#include <string>

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;

  // Low and high 16-bit halves of the parameters, the usual packing of small values.
  uint16_t WParamLo() const { return LOWORD(WParam); }
  uint16_t WParamHi() const { return HIWORD(WParam); }
  uint16_t LParamLo() const { return LOWORD(LParam); }
  uint16_t LParamHi() const { return HIWORD(LParam); }
  // Signed client coordinates of a mouse message (LParam).
  int XPos() const { return static_cast<int16_t>(LOWORD(LParam)); }
  int YPos() const { return static_cast<int16_t>(HIWORD(LParam)); }
};

// The layer's own messages. The block lies below WM_APP-range private messages of
// components (0x8000-0xBFFF is shared with them; components use 0x8000-0xAFFF).
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0;              // form became the active form
constexpr UINT CM_DEACTIVATE = CM_BASE + 1;            // form stopped being the active form
constexpr UINT CM_DIALOGKEY = CM_BASE + 5;             // WParam: virtual key; Result 1 = handled
constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;            // WParam: character (Alt+key); Result 1 = handled
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;          // LParam: TWinControl* that got the focus
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;     // the parent's font changed
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;    // the parent's colour changed
constexpr UINT CM_HITTEST = CM_BASE + 10;              // LParam: client point; Result: HTCLIENT or HTNOWHERE
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 11;       // WParam: new Visible
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;       // Enabled changed
constexpr UINT CM_COLORCHANGED = CM_BASE + 13;         // Color changed
constexpr UINT CM_FONTCHANGED = CM_BASE + 14;          // Font changed
constexpr UINT CM_CURSORCHANGED = CM_BASE + 15;        // Cursor changed
constexpr UINT CM_CTL3DCHANGED = CM_BASE + 16;         // Ctl3D changed
constexpr UINT CM_PARENTCTL3DCHANGED = CM_BASE + 17;   // the parent's Ctl3D changed
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;          // Caption/Text changed
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;           // LParam: the control the mouse entered
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;           // LParam: the control the mouse left
constexpr UINT CM_MENUCHANGED = CM_BASE + 21;          // the form's menu changed
constexpr UINT CM_APPKEYDOWN = CM_BASE + 22;           // reserved for application shortcuts
constexpr UINT CM_BUTTONPRESSED = CM_BASE + 24;        // WParam: group index, LParam: control
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 25;       // the window's shown state changed
constexpr UINT CM_ENTER = CM_BASE + 26;                // the control became the form's active control
constexpr UINT CM_EXIT = CM_BASE + 27;                 // the control stopped being the form's active control
constexpr UINT CM_DESIGNHITTEST = CM_BASE + 28;        // unused at run time
constexpr UINT CM_ICONCHANGED = CM_BASE + 29;          // the form's icon changed
constexpr UINT CM_WANTSPECIALKEY = CM_BASE + 30;       // WParam: key; Result 1 = the control wants it
constexpr UINT CM_INVOKEHELP = CM_BASE + 31;           // help request travelling to the application
constexpr UINT CM_WINDOWHOOK = CM_BASE + 32;           // reserved
constexpr UINT CM_RELEASE = CM_BASE + 33;              // posted by Release: the form frees itself
constexpr UINT CM_SHOWHINTCHANGED = CM_BASE + 34;      // ShowHint changed
constexpr UINT CM_PARENTSHOWHINTCHANGED = CM_BASE + 35; // the parent's ShowHint changed
constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 36;       // system colours changed (broadcast)
constexpr UINT CM_WININICHANGE = CM_BASE + 37;         // system settings changed (broadcast)
constexpr UINT CM_FONTCHANGE = CM_BASE + 38;           // installed fonts changed (broadcast)
constexpr UINT CM_TIMECHANGE = CM_BASE + 39;           // system time changed (broadcast)
constexpr UINT CM_TABSTOPCHANGED = CM_BASE + 40;       // TabStop changed
constexpr UINT CM_UIACTIVATE = CM_BASE + 41;           // reserved
constexpr UINT CM_UIDEACTIVATE = CM_BASE + 42;         // reserved
constexpr UINT CM_DOCWINDOWACTIVATE = CM_BASE + 43;    // reserved
constexpr UINT CM_CONTROLLISTCHANGE = CM_BASE + 44;    // WParam: control, LParam: inserted
constexpr UINT CM_GETDATALINK = CM_BASE + 45;          // reserved
constexpr UINT CM_CHILDKEY = CM_BASE + 46;             // WParam: key, LParam: child; Result 1 = handled
constexpr UINT CM_DRAG = CM_BASE + 47;                 // drag and drop of the control layer
constexpr UINT CM_HINTSHOW = CM_BASE + 48;             // LParam: THintInfo*; Result 0 = show the hint
constexpr UINT CM_DIALOGHANDLE = CM_BASE + 49;         // reserved
constexpr UINT CM_ISTOOLCONTROL = CM_BASE + 50;        // reserved
constexpr UINT CM_RECREATEWND = CM_BASE + 51;          // posted: recreate the window handle
constexpr UINT CM_INVALIDATE = CM_BASE + 52;           // WParam 1: the whole window, else client only
constexpr UINT CM_SYSFONTCHANGED = CM_BASE + 53;       // system font changed
constexpr UINT CM_CONTROLCHANGE = CM_BASE + 54;        // WParam: control, LParam: inserted
constexpr UINT CM_CHANGED = CM_BASE + 55;              // a child changed
constexpr UINT CM_BORDERCHANGED = CM_BASE + 59;        // border style changed
constexpr UINT CM_BIDIMODECHANGED = CM_BASE + 60;      // BiDiMode changed
constexpr UINT CM_PARENTBIDIMODECHANGED = CM_BASE + 61; // the parent's BiDiMode changed
constexpr UINT CM_ALLCHILDRENFLIPPED = CM_BASE + 62;   // reserved
constexpr UINT CM_ACTIONUPDATE = CM_BASE + 63;         // reserved
constexpr UINT CM_ACTIONEXECUTE = CM_BASE + 64;        // reserved
constexpr UINT CM_HINTSHOWPAUSE = CM_BASE + 65;        // WParam: a hint is showing; LParam: int* pause (ms)
constexpr UINT CM_DOCKNOTIFICATION = CM_BASE + 66;     // reserved
constexpr UINT CM_MOUSEWHEEL = CM_BASE + 67;           // WParam/LParam of WM_MOUSEWHEEL; Result 1 = handled
constexpr UINT CM_AUTOADJUST = CM_BASE + 72;           // a control asks its parent to re-layout
constexpr UINT CM_HELP = CM_BASE + 73;                 // LParam: control asking for help; Result 1 = shown
// Answered 1 by controls that refuse to be subclassed by theming add-ons.
constexpr UINT CM_DENYSUBCLASSING = CM_BASE + 2000;

// Reflected notifications: the parent's message number + CN_BASE, sent to the
// control the notification concerns, with the original parameters.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_CHARTOITEM = CN_BASE + WM_CHARTOITEM;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_COMPAREITEM = CN_BASE + WM_COMPAREITEM;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLORDLG = CN_BASE + WM_CTLCOLORDLG;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORMSGBOX = CN_BASE + WM_CTLCOLORMSGBOX;
constexpr UINT CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
constexpr UINT CN_DELETEITEM = CN_BASE + WM_DELETEITEM;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr UINT CN_PARENTNOTIFY = CN_BASE + WM_PARENTNOTIFY;
constexpr UINT CN_VKEYTOITEM = CN_BASE + WM_VKEYTOITEM;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;

// Posted by the system after a real F1 key-down; its default processing sends
// WM_HELP. The layer handles F1 in WM_KEYDOWN itself and ignores this one.
constexpr UINT kWMKeyF1 = 0x004D;

class TControl;

// What CM_HINTSHOW hands the control under the mouse; the control may change
// any field (text, position, window class...) or answer 1 to show nothing.
class THintWindow;
using THintWindowFactory = THintWindow* (*)();
struct THintInfo {
  TControl* HintControl = nullptr;
  THintWindowFactory HintWindowClass = nullptr;  // creates the hint window to use
  POINT HintPos{};        // screen position of the hint's top-left corner
  int HintMaxWidth = 0;   // widest hint in pixels
  COLORREF HintColor = 0; // background
  RECT CursorRect{};      // client rectangle of HintControl; leaving it hides the hint
  POINT CursorPos{};      // the mouse in HintControl's client coordinates
  int ReshowTimeout = 0;  // ms before the hint is asked again while the mouse rests (0 = never)
  int HideTimeout = 0;    // ms the hint stays up (0 = the application's HintHidePause)
  std::string HintStr;    // the text shown
  void* HintData = nullptr; // handed to the hint window's CalcHintRect/ActivateHintData
};
