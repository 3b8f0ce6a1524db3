#include "InputDriver.h"

#include <vector>

#include "win/testing/Harness.h"

namespace {
constexpr WORD kMarker = VK_F24;
int gMarkersSeen = 0;  // the key-action event takes no captures

INPUT KeyInput(WORD key, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = key;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (key == VK_PRIOR || key == VK_NEXT || key == VK_HOME || key == VK_END || key == VK_LEFT || key == VK_RIGHT ||
      key == VK_UP || key == VK_DOWN || key == VK_DELETE || key == VK_INSERT || key == VK_DIVIDE)
    in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  return in;
}

INPUT MouseInput(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  return in;
}
}  // namespace

TInputDriver::TInputDriver(TBaseVirtualTree* tree_) : tree(tree_) {
  markersSent = gMarkersSeen;
  // Seen in the application's loop, whichever window has the focus.
  Application->OnMessage = [](MSG& msg, bool& handled) {
    if ((msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) || msg.wParam != kMarker) return;
    handled = true;
    if (msg.message == WM_KEYUP) ++gMarkersSeen;
  };
}

TInputDriver::~TInputDriver() { Application->OnMessage = nullptr; }

void TInputDriver::Send(INPUT* inputs, int count) { SendInput(static_cast<UINT>(count), inputs, sizeof(INPUT)); }

bool TInputDriver::Sync() {
  INPUT marker[2] = {KeyInput(kMarker, false), KeyInput(kMarker, true)};
  Send(marker, 2);
  int expected = ++markersSent;
  return qvtest::PumpUntil([&] { return gMarkersSeen >= expected; }, 5000);
}

void TInputDriver::Key(WORD key, std::initializer_list<WORD> modifiers) {
  std::vector<INPUT> inputs;
  for (WORD modifier : modifiers) inputs.push_back(KeyInput(modifier, false));
  inputs.push_back(KeyInput(key, false));
  inputs.push_back(KeyInput(key, true));
  for (auto it = modifiers.end(); it != modifiers.begin();) inputs.push_back(KeyInput(*--it, true));
  Send(inputs.data(), static_cast<int>(inputs.size()));
  Sync();
}

void TInputDriver::KeyDown(WORD key) {
  INPUT in = KeyInput(key, false);
  Send(&in, 1);
}

void TInputDriver::KeyUp(WORD key) {
  INPUT in = KeyInput(key, true);
  Send(&in, 1);
}

void TInputDriver::Type(const std::u16string& text) {
  std::vector<INPUT> inputs;
  for (char16_t ch : text) {
    for (bool up : {false, true}) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = ch;
      in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(in);
    }
  }
  Send(inputs.data(), static_cast<int>(inputs.size()));
  Sync();
}

void TInputDriver::MoveTo(int x, int y) {
  TPoint p = tree->ClientToScreen(Point(x, y));
  INPUT in = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE);
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  in.mi.dx = static_cast<LONG>((p.X * 65536 + width / 2) / width);
  in.mi.dy = static_cast<LONG>((p.Y * 65536 + height / 2) / height);
  Send(&in, 1);
}

void TInputDriver::Click(int x, int y, std::initializer_list<WORD> modifiers) {
  for (WORD modifier : modifiers) KeyDown(modifier);
  MoveTo(x, y);
  INPUT click[2] = {MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)};
  Send(click, 2);
  for (auto it = modifiers.end(); it != modifiers.begin();) KeyUp(*--it);
  Sync();
}

void TInputDriver::Drag(int x0, int y0, int x1, int y1, std::initializer_list<WORD> modifiers, bool rightButton) {
  for (WORD modifier : modifiers) KeyDown(modifier);
  MoveTo(x0, y0);
  INPUT down = MouseInput(rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
  Send(&down, 1);
  constexpr int kSteps = 6;
  for (int i = 1; i <= kSteps; ++i) MoveTo(x0 + (x1 - x0) * i / kSteps, y0 + (y1 - y0) * i / kSteps);
  INPUT up = MouseInput(rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
  Send(&up, 1);
  for (auto it = modifiers.end(); it != modifiers.begin();) KeyUp(*--it);
  Sync();
}
