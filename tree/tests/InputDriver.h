#pragma once
// Real keyboard and mouse input for tree tests: SendInput, then a marker key
// (F24, taken out of the application's loop) whose arrival proves that everything sent
// before it was handled, so tests wait exactly as long as the input takes.
#include <windows.h>

#include <initializer_list>
#include <string>

#include "tree/VirtualTrees.h"

class TInputDriver {
public:
  // Watches the application's loop for the marker; keys go to the focused window.
  explicit TInputDriver(TBaseVirtualTree* tree);
  ~TInputDriver();

  // Presses key with the modifiers (VK_SHIFT, VK_CONTROL, VK_MENU) held, releases all.
  void Key(WORD key, std::initializer_list<WORD> modifiers = {});
  // Holds key down without releasing it (and without waiting for the marker).
  void KeyDown(WORD key);
  void KeyUp(WORD key);
  // Types text as Unicode characters (VK_PACKET).
  void Type(const std::u16string& text);
  // A left click at a client point of the tree, with modifiers held.
  void Click(int x, int y, std::initializer_list<WORD> modifiers = {});
  // Presses at (x0, y0), moves to (x1, y1) in steps, releases there.
  void Drag(int x0, int y0, int x1, int y1, std::initializer_list<WORD> modifiers = {}, bool rightButton = false);
  // Waits until everything sent so far was handled; false on a time-out.
  bool Sync();

private:
  void Send(INPUT* inputs, int count);
  void MoveTo(int x, int y);
  TBaseVirtualTree* tree;
  int markersSent = 0;
};
