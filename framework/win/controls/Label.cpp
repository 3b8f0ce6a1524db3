#include "win/controls/StdCtrls.h"

#include "win/ClassInfo.h"
#include "win/graphics/Graphics.h"

namespace {

const TEnumNames kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};
const TEnumNames kLayoutNames = {"tlTop", "tlCenter", "tlBottom"};

const TClassRegistrar<TCustomLabel, TGraphicControl> kCustomLabelRegistrar("TCustomLabel", {
    EnumProp("Alignment", &TCustomLabel::Alignment, &TCustomLabel::SetAlignment, kAlignmentNames),
    EnumProp("Layout", &TCustomLabel::Layout, &TCustomLabel::SetLayout, kLayoutNames),
    Prop("AutoSize", &TCustomLabel::AutoSize, &TCustomLabel::SetAutoSize),
    Prop("WordWrap", &TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap),
    Prop("Transparent", &TCustomLabel::Transparent, &TCustomLabel::SetTransparent),
    Prop("ShowAccelChar", &TCustomLabel::ShowAccelChar, &TCustomLabel::SetShowAccelChar),
    Prop("HotTrack", &TCustomLabel::HotTrack, &TCustomLabel::SetHotTrack),
    ComponentProp("FocusControl", &TCustomLabel::FocusControl, &TCustomLabel::SetFocusControl),
});
const TClassRegistrar<TLabel, TCustomLabel> kLabelRegistrar("TLabel", {});

}  // namespace

const TMessageMap* TCustomLabel::ClassMessageMap() {
  static const TMessageMap map(TGraphicControl::ClassMessageMap(), {
      OnMessage(CM_TEXTCHANGED, &TCustomLabel::CMTextChanged),
      OnMessage(CM_FONTCHANGED, &TCustomLabel::CMFontChanged),
      OnMessage(CM_DIALOGCHAR, &TCustomLabel::CMDialogChar),
      OnMessage(CM_MOUSEENTER, &TCustomLabel::CMMouseEnter),
      OnMessage(CM_MOUSELEAVE, &TCustomLabel::CMMouseLeave),
  });
  return &map;
}

void TCustomLabel::Create(TComponent* owner) {
  TGraphicControl::Create(owner);
  SetParentColor(true);
  SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout value) {
  if (value == layout) return;
  layout = value;
  Invalidate();
}

void TCustomLabel::SetAutoSize(bool value) {
  if (value == autoSize) return;
  autoSize = value;
  AdjustBounds();
}

void TCustomLabel::SetWordWrap(bool value) {
  if (value == wordWrap) return;
  wordWrap = value;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetTransparent(bool value) {
  if (value == transparent) return;
  transparent = value;
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool value) {
  if (value == showAccelChar) return;
  showAccelChar = value;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetFocusControl(TWinControl* value) {
  if (focusControl != nullptr) focusControl->RemoveFreeNotification(this);
  focusControl = value;
  if (focusControl != nullptr) focusControl->FreeNotification(this);
}

void TCustomLabel::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == focusControl) focusControl = nullptr;
}

UINT TCustomLabel::TextFlags() const {
  static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  UINT flags = DT_EXPANDTABS | kAlign[alignment];
  flags |= wordWrap ? DT_WORDBREAK : DT_SINGLELINE;
  if (!showAccelChar) flags |= DT_NOPREFIX;
  return DrawTextBiDiModeFlags(flags);
}

// Draws the caption (or measures it with DT_CALCRECT); a disabled label is
// drawn embossed, as the system draws disabled text.
void TCustomLabel::DoDrawText(TRect& r, UINT flags) {
  std::u16string text = AnsiToWide(Caption());
  // An empty caption still measures one line.
  if (text.empty() && (flags & DT_CALCRECT)) text = u" ";
  TCanvas* canvas = Canvas();
  canvas->SetFont(Font());
  if (flags & DT_CALCRECT) {
    canvas->DrawText(text, r, flags);
    return;
  }
  canvas->Brush()->SetStyle(bsClear);
  if (Enabled()) {
    canvas->DrawText(text, r, flags);
    return;
  }
  TRect shifted = r;
  shifted.Offset(1, 1);
  canvas->Font()->SetColor(clBtnHighlight);
  canvas->DrawText(text, shifted, flags);
  canvas->Font()->SetColor(clBtnShadow);
  canvas->DrawText(text, r, flags);
}

void TCustomLabel::Paint() {
  TCanvas* canvas = Canvas();
  TRect client = ClientRect();
  if (!transparent) {
    canvas->Brush()->SetColor(Color());
    canvas->Brush()->SetStyle(bsSolid);
    canvas->FillRect(client);
  }
  TRect r = client;
  UINT flags = TextFlags();
  if (layout != tlTop) {
    TRect measured = client;
    DoDrawText(measured, flags | DT_CALCRECT);
    int offset = client.Height() - measured.Height();
    if (layout == tlCenter) offset /= 2;
    r.Top += offset;
  }
  DoDrawText(r, flags);
}

namespace {

// One memory DC of the screen's kind for all measuring, made once: taking a
// screen DC is a window-server round trip under Wine, and a form sizes each
// of its autosized labels as it loads. Labels live on the GUI thread only.
HDC MeasuringDC() {
  static const HDC dc = CreateCompatibleDC(nullptr);
  return dc;
}

}  // namespace

void TCustomLabel::AdjustBounds() {
  if (!autoSize || IsLoading() || Parent() == nullptr) return;
  HDC measuring = MeasuringDC();
  if (measuring == nullptr) return;
  // The label's own canvas has a DC only while painting.
  TCanvas* canvas = Canvas();
  canvas->SetHandle(measuring);
  TRect r = ClientRect();
  if (!wordWrap) r.Right = r.Left + 32000;
  DoDrawText(r, TextFlags() | DT_CALCRECT);
  canvas->SetHandle(nullptr);
  int newLeft = Left();
  // A right-aligned label keeps its right edge, a centred one its middle.
  if (!wordWrap && alignment == taRightJustify) newLeft = Left() + Width() - r.Width();
  if (!wordWrap && alignment == taCenter) newLeft = Left() + (Width() - r.Width()) / 2;
  SetBounds(newLeft, Top(), r.Width(), r.Height());
}

void TCustomLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TCustomLabel::CMTextChanged(TMessage&) {
  Invalidate();
  AdjustBounds();
}

void TCustomLabel::CMFontChanged(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  AdjustBounds();
}

void TCustomLabel::CMDialogChar(TMessage& m) {
  if (focusControl == nullptr || !Enabled() || !showAccelChar || !IsAccel(static_cast<unsigned>(m.WParam), Caption()))
    return;
  if (!focusControl->CanFocus()) return;
  focusControl->SetFocus();
  m.Result = 1;
}

void TCustomLabel::CMMouseEnter(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (!hotTrack || Font()->Style().Contains(fsUnderline)) return;
  underlinedByHover = true;
  TFontStyles style = Font()->Style();
  Font()->SetStyle(style.Include(fsUnderline));
}

void TCustomLabel::CMMouseLeave(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (!underlinedByHover) return;
  underlinedByHover = false;
  TFontStyles style = Font()->Style();
  Font()->SetStyle(style.Exclude(fsUnderline));
}
