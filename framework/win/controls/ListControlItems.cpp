#include "win/controls/StdCtrls.h"

// The items of combo and list boxes: this list is the truth, the window a copy
// kept in step item by item (or refilled after a reordering).

void TListControlItems::Create(TWinControl* control_, const TMessages& messages_) {
  control = control_;
  messages = messages_;
}

void TListControlItems::WindowInsert(int index, const std::string& s) {
  if (!control->HandleAllocated()) return;
  std::u16string wide = AnsiToWide(s);
  SendMessageW(control->Handle(), messages.insertString, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(wide.c_str()));
}

void TListControlItems::FillWindow() {
  if (!control->HandleAllocated()) return;
  HWND hwnd = control->Handle();
  SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd, messages.resetContent, 0, 0);
  for (int i = 0; i < Count(); ++i) {
    std::u16string wide = AnsiToWide(Strings(i));
    SendMessageW(hwnd, messages.addString, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void TListControlItems::InsertObject(int index, const std::string& s, TObject* object) {
  TStringList::InsertObject(index, s, object);
  WindowInsert(index, s);
}

int TListControlItems::AddObject(const std::string& s, TObject* object) {
  int before = Count();
  int index = TStringList::AddObject(s, object);
  // A sorted list that ignores duplicates may not have added anything.
  if (Count() > before) WindowInsert(index, s);
  return index;
}

void TListControlItems::Delete(int index) {
  TStringList::Delete(index);
  if (control->HandleAllocated()) SendMessageW(control->Handle(), messages.deleteString, static_cast<WPARAM>(index), 0);
}

void TListControlItems::Clear() {
  TStringList::Clear();
  if (control->HandleAllocated()) SendMessageW(control->Handle(), messages.resetContent, 0, 0);
}

void TListControlItems::Put(int index, const std::string& s) {
  TStringList::Put(index, s);
  if (!control->HandleAllocated()) return;
  // Replacing a row keeps the selection on it.
  LRESULT selected = SendMessageW(control->Handle(), messages.deleteString == LB_DELETESTRING ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
  SendMessageW(control->Handle(), messages.deleteString, static_cast<WPARAM>(index), 0);
  WindowInsert(index, s);
  if (selected == index)
    SendMessageW(control->Handle(), messages.deleteString == LB_DELETESTRING ? LB_SETCURSEL : CB_SETCURSEL,
                 static_cast<WPARAM>(index), 0);
}

void TListControlItems::Exchange(int index1, int index2) {
  TStringList::Exchange(index1, index2);
  FillWindow();
}

void TListControlItems::Move(int curIndex, int newIndex) {
  TStringList::Move(curIndex, newIndex);
  FillWindow();
}

void TListControlItems::Sort() {
  TStringList::Sort();
  FillWindow();
}

void TListControlItems::CustomSort(TStringListSortCompare compare) {
  TStringList::CustomSort(compare);
  FillWindow();
}
