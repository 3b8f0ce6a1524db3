// Class-library drag and drop of controls: the dragged window holds the mouse
// capture; its mouse moves find the control under the mouse (CM_DRAG find
// target), tell it that the drag entered, moves or left, and the release
// drops on it when it accepted. Only one drag runs at a time.
#include <cstdlib>
#include <optional>

#include "win/Controls.h"
#include "win/Messages.h"

namespace {
struct TDragSession {
  TWinControl* source = nullptr;  // not owned
  TControl* target = nullptr;     // not owned
  TDragObject* object = nullptr;  // not owned (the application's)
  TPoint start;                   // screen
  int threshold = 0;
  bool started = false;
  bool accepted = false;
};
TDragSession* gDrag = nullptr;

LRESULT AskTarget(TControl* target, TDragMessage what, TPoint pos) {
  TDragRec rec{pos, gDrag->source, target, gDrag->object};
  return target->Perform(CM_DRAG, what, reinterpret_cast<LPARAM>(&rec));
}

TControl* FindDragTarget(TPoint pos) {
  TWinControl* control = FindControl(WindowFromPoint(POINT{pos.X, pos.Y}));
  if (control == nullptr) return nullptr;
  TDragRec rec{pos, gDrag->source, control, gDrag->object};
  auto* answer = reinterpret_cast<TControl*>(control->Perform(CM_DRAG, dmFindTarget, reinterpret_cast<LPARAM>(&rec)));
  return answer != nullptr ? answer : control;
}

// The handlers each question reaches may free the source, which ends the drag
// (ForgetDragControl): the move stops there.
void DragTo(TPoint pos) {
  TControl* target = FindDragTarget(pos);
  if (gDrag == nullptr) return;
  if (target != gDrag->target) {
    if (gDrag->target != nullptr) AskTarget(gDrag->target, dmDragLeave, pos);
    if (gDrag == nullptr) return;
    gDrag->target = target;
    bool accepted = target != nullptr && AskTarget(target, dmDragEnter, pos) != 0;
    if (gDrag == nullptr) return;
    gDrag->accepted = accepted;
  }
  if (gDrag->target != nullptr) {
    bool accepted = AskTarget(gDrag->target, dmDragMove, pos) != 0;
    if (gDrag == nullptr) return;
    gDrag->accepted = accepted;
  }
  SetCursor(LoadCursorW(nullptr, gDrag->accepted ? IDC_ARROW : IDC_NO));
}

// Where the message being handled happened (queued input moves the cursor on ahead).
TPoint MessagePos() {
  DWORD pos = GetMessagePos();
  return TPoint{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
}

void EndDragSession(bool drop) {
  TDragSession session = *gDrag;
  delete gDrag;
  gDrag = nullptr;
  // The drop and end handlers may free the source or the target: both live
  // until the drag is over, and one that went hears of it no more.
  TObject::THold sourceHold(session.source);
  std::optional<TObject::THold> targetHold;
  TPoint pos = MessagePos();
  TControl* target = session.target;
  if (target != nullptr) {
    targetHold.emplace(target);
    TDragRec rec{pos, session.source, target, session.object};
    bool dropped = drop && session.started && session.accepted;
    target->Perform(CM_DRAG, dropped ? dmDragDrop : dmDragLeave, reinterpret_cast<LPARAM>(&rec));
    if (!dropped || target->Going()) target = nullptr;
  }
  if (session.source->Going()) return;
  if (session.source->HandleAllocated() && GetCapture() == session.source->Handle()) ReleaseCapture();
  // The release went to the drag: the button is up for the control too.
  session.source->SetControlState(session.source->ControlState().Exclude(csLButtonDown));
  TPoint at = target != nullptr ? target->ScreenToClient(pos) : TPoint{0, 0};
  if (target == nullptr) session.source->DragCanceled();
  // Cancelling ends the source's click, whose handlers may free it.
  if (!session.source->Going()) session.source->DoEndDrag(target, at.X, at.Y);
}
}  // namespace

void TControl::BeginDrag(bool immediate, int threshold) {
  auto* source = dynamic_cast<TWinControl*>(this);
  if (gDrag != nullptr || source == nullptr || !source->HandleAllocated()) return;
  gDrag = new TDragSession;
  gDrag->source = source;
  gDrag->start = MessagePos();
  gDrag->threshold = threshold >= 0 ? threshold : GetSystemMetrics(SM_CXDRAG);
  SetCapture(source->Handle());
  TDragObject* object = nullptr;
  DoStartDrag(object);
  // The handler may have ended the drag (or started another).
  if (gDrag == nullptr || gDrag->source != source) return;
  gDrag->object = object;
  if (object != nullptr) object->SetControl(source);
  if (immediate) {
    gDrag->started = true;
    DragTo(gDrag->start);
  }
}

bool TControl::Dragging() const { return gDrag != nullptr && gDrag->source == this; }

void TControl::DoEndDrag(TControl* target, int x, int y) {
  FireControlEvent(OnEndDrag, this, target, x, y);
}

void TControl::DoStartDrag(TDragObject*& dragObject) {
  FireControlEvent(OnStartDrag, this, dragObject);
}

void TControl::DragCanceled() {}

void ForgetDragControl(TControl* control) {
  if (gDrag == nullptr) return;
  if (gDrag->target == control) {
    gDrag->target = nullptr;
    gDrag->accepted = false;
  }
  if (gDrag->source != control) return;
  delete gDrag;
  gDrag = nullptr;
  if (control->Parent() != nullptr || dynamic_cast<TWinControl*>(control) != nullptr) ReleaseCapture();
}

bool DragSessionTakes(TWinControl* source, TMessage& message) {
  if (gDrag == nullptr || gDrag->source != source) return false;
  switch (message.Msg) {
    case WM_MOUSEMOVE: {
      TPoint pos = source->ClientToScreen(
          TPoint{static_cast<short>(LOWORD(message.LParam)), static_cast<short>(HIWORD(message.LParam))});
      if (!gDrag->started) {
        if (std::abs(pos.X - gDrag->start.X) < gDrag->threshold && std::abs(pos.Y - gDrag->start.Y) < gDrag->threshold)
          return true;
        gDrag->started = true;
      }
      DragTo(pos);
      return true;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      EndDragSession(/*drop=*/true);
      return true;
    case WM_KEYDOWN:
      if (message.WParam != VK_ESCAPE) return false;
      EndDragSession(/*drop=*/false);
      return true;
    case WM_CANCELMODE:
    case WM_CAPTURECHANGED:
      if (message.Msg == WM_CAPTURECHANGED && reinterpret_cast<HWND>(message.LParam) == source->Handle()) return false;
      EndDragSession(/*drop=*/false);
      return false;
    default:
      return false;
  }
}
