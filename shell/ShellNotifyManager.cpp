// Held-back delivery: batches that arrive while a view is busy wait here and
// reach every registered view, oldest first, once all are ready.
#include <algorithm>
#include <vector>

#include "shell/ShellNotifier.h"

TShellNotifyManager* ShellNotifyManager = nullptr;

void InitializeShellNotifications() {
  if (ShellNotifyManager == nullptr) ShellNotifyManager = New<TShellNotifyManager>();
}

void FinalizeShellNotifications() {
  FinalizeNotifier();
  FreeAndNil(ShellNotifyManager);
}

namespace {
// The delivery timer's period while batches wait.
constexpr UINT kDeliveryPeriodMs = 103;
constexpr UINT_PTR kDeliveryTimerID = 100;

std::vector<TWinControl*> Snapshot(TThreadList& windows) {
  std::vector<TWinControl*> out;
  TList* list = windows.LockList();
  for (int i = 0; i < list->Count(); ++i) out.push_back(static_cast<TWinControl*>(list->Get(i)));
  windows.UnlockList();
  return out;
}

bool StillRegistered(TThreadList& windows, TWinControl* window) {
  TList* list = windows.LockList();
  bool found = list->IndexOf(window) >= 0;
  windows.UnlockList();
  return found;
}
}  // namespace

TShellNotifyManager::~TShellNotifyManager() {
  if (timerID != 0) KillTimer(nullptr, timerID);
  timerID = 0;
  TList* list = pendingLists.LockList();
  std::vector<TVirtualShellEventList*> doomed;
  for (int i = 0; i < list->Count(); ++i) doomed.push_back(static_cast<TVirtualShellEventList*>(list->Get(i)));
  list->Clear();
  pendingLists.UnlockList();
  for (TVirtualShellEventList* parked : doomed) parked->Release();
}

void TShellNotifyManager::RegisterExplorerWnd(TWinControl* window) { windows.Add(window); }

void TShellNotifyManager::UnRegisterExplorerWnd(TWinControl* window) { windows.Remove(window); }

bool TShellNotifyManager::OkToDispatch() {
  // Asked outside the lock: a view's answer may reach back into the manager.
  std::vector<TWinControl*> all = Snapshot(windows);
  if (all.empty()) return false;
  for (TWinControl* window : all) {
    auto* target = dynamic_cast<IShellNotifyTarget*>(window);
    if (target == nullptr || !target->ReadyForNotify()) return false;
  }
  return true;
}

bool TShellNotifyManager::HasParkedLists() {
  TList* list = pendingLists.LockList();
  bool any = list->Count() > 0;
  pendingLists.UnlockList();
  return any;
}

void TShellNotifyManager::ReceiveNotifications(TVirtualShellEventList* list) {
  if (timerID == 0) timerID = SetTimer(nullptr, kDeliveryTimerID, kDeliveryPeriodMs, &TShellNotifyManager::TimerProc);
  TList* parked = pendingLists.LockList();
  bool known = false;
  for (int i = 0; i < parked->Count() && !known; ++i)
    known = static_cast<TVirtualShellEventList*>(parked->Get(i))->ID == list->ID;
  if (!known) parked->Add(list);
  pendingLists.UnlockList();
  if (known) list->Release();
}

void CALLBACK TShellNotifyManager::TimerProc(HWND, UINT, UINT_PTR, DWORD) {
  try {
    if (ShellNotifyManager != nullptr) ShellNotifyManager->DeliverParked();
  } catch (...) {
    // Nothing may leave a timer callback; the batches handed out so far were applied.
  }
}

void TShellNotifyManager::DeliverParked() {
  // A view handling a batch may pump messages: the timer must not deliver again meanwhile.
  if (delivering || !OkToDispatch()) return;
  if (timerID != 0) KillTimer(nullptr, timerID);
  timerID = 0;
  std::vector<TVirtualShellEventList*> lists;
  TList* parked = pendingLists.LockList();
  for (int i = 0; i < parked->Count(); ++i) lists.push_back(static_cast<TVirtualShellEventList*>(parked->Get(i)));
  parked->Clear();
  pendingLists.UnlockList();
  // In the order the notifier made them.
  std::stable_sort(lists.begin(), lists.end(),
                   [](TVirtualShellEventList* a, TVirtualShellEventList* b) { return a->ID < b->ID; });
  delivering = true;
  for (TVirtualShellEventList* list : lists) {
    for (TWinControl* window : Snapshot(windows)) {
      // A view that left while an earlier one was called is skipped (and never touched: it may be gone).
      if (!StillRegistered(windows, window)) continue;
      auto* target = dynamic_cast<IShellNotifyTarget*>(window);
      if (target == nullptr) continue;
      list->AddRef();  // the view's reference
      TMessage message;
      message.Msg = kWMShellNotify;
      message.WParam = reinterpret_cast<WPARAM>(list);
      try {
        target->Notify(message);
      } catch (...) {
        // One view's failure must not keep the batch from the others (the view released its reference).
      }
    }
    list->Release();  // the manager's
  }
  delivering = false;
}
