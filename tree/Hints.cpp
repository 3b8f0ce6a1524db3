// Hints and tooltips of the tree: the answer to the application's hint request
// (node hints, tooltips for cut-off text, header column hints, the control's
// own hint) and the tree's hint window.
#include <algorithm>
#include <optional>

#include "tree/VirtualTrees.h"
#include "tree/VTHeader.h"
#include "win/TextConvert.h"

namespace {
bool gHintWindowGone = false;

TVirtualTreeHintWindow* NewTreeHintWindow() { return New<TVirtualTreeHintWindow>(nullptr); }

std::u16string ShortHint(const std::string& hint) { return AnsiToWide(hint.substr(0, hint.find('|'))); }
}  // namespace

bool TreeHintWindowGone() { return gHintWindowGone; }

THintWindowFactory TBaseVirtualTree::GetHintWindowClass() {
  return []() -> THintWindow* { return NewTreeHintWindow(); };
}

// ---------------------------------------------------------------------------
// The tree's answers

void TBaseVirtualTree::CMHintShow(TMessage& m) {
  auto& info = *reinterpret_cast<THintInfo*>(m.LParam);
  m.Result = 1;
  TPoint cursor{info.CursorPos.x, info.CursorPos.y};
  if (lastHintRect.Contains(cursor)) return;
  // Measuring and asking calls out: a handler that frees the node (or the
  // tree) shows no hint for it.
  TCallOutScope scope(*this);
  const uint32_t columnSet = ColumnSetChanges();

  THitInfo hit;
  GetHitTestInfoAt(cursor.X, cursor.Y, true, hit);
  bool mayShow;
  if (!states.Contains(tsEditing)) {
    TCustomForm* form = ParentForm();
    mayShow = Focused() || (form != nullptr && form->Focused()) || GetActiveWindow() != nullptr;
  } else {
    mayShow = hit.HitNode != focusedNode;
  }
  bool headerIdle = header == nullptr || header->States().Empty();
  TRect cursorRect;
  bool show = false;
  if (GetCapture() == nullptr && ShowHint() && !Dragging() && !IsMouseSelecting() && !states.Contains(tsScrolling) &&
      headerIdle && mayShow) {
    m.Result = 0;
    show = true;
    info.HintStr = " ";
    hintData = TVTHintData();
    bool inHeader = header != nullptr && HeaderColumnCount() > 0 && header->Options().Contains(hoShowHint) &&
                    header->InHeader(cursor);
    if (inHeader) {
      TColumnIndex column = header->Columns()->ColumnFromPosition(
          TPoint{cursor.X, cursor.Y + static_cast<int>(header->Height())}, /*relative=*/true);
      TVirtualTreeColumn* item = column >= 0 ? header->Columns()->Items(column) : nullptr;
      if (item == nullptr || item->Hint().empty()) {
        m.Result = 1;
        show = false;
      } else {
        hintData.DefaultHint = item->Hint();
        cursorRect = TRect{0, -static_cast<int>(header->Height()), ClientWidth(), 0};
        // The hint stays below the header, out of the way of its buttons.
        TPoint below = ClientToScreen(Point(0, 0));
        if (info.HintPos.y < below.Y) info.HintPos.y = below.Y;
        hit.HitColumn = column;
        hit.HitNode = nullptr;
      }
    } else if (hintMode == hmDefault) {
      hintData.DefaultHint = ShortHint(Hint());
      cursorRect = ClientRect();
    } else if (hit.HitNode != nullptr && hit.HitColumn >= NoColumn) {
      // A draw tree sizes its own hints; an empty size shows none.
      if (auto* drawTree = dynamic_cast<TCustomVirtualDrawTree*>(this)) {
        drawTree->GetHintSize(hit.HitNode, hit.HitColumn, hintData.HintRect);
        if (scope.Lost(hit.HitNode) || hintData.HintRect.IsEmpty()) {
          m.Result = 1;
          lastHintRect = TRect();
          DoStateChange({}, {tsHint});
          return;
        }
      }
      int left = 0, right = ClientWidth();
      if (hit.HitColumn >= 0) GetColumnBounds(hit.HitColumn, left, right);
      if (options.autoOptions.Contains(toAutoSpanColumns) && hit.HitColumn >= 0) {
        for (TColumnIndex next = NextVisibleColumn(hit.HitColumn); next >= 0 && DoGetCellIsEmpty(hit.HitNode, next);
             next = NextVisibleColumn(next)) {
          int nextLeft = 0, nextRight = 0;
          GetColumnBounds(next, nextLeft, nextRight);
          right = nextRight;
        }
      }
      if (hintMode != hmTooltip) {
        cursorRect = GetDisplayRect(hit.HitNode, hit.HitColumn, false);
        cursorRect.Left = left;
        cursorRect.Right = right;
        TPoint below = ClientToScreen(Point(0, cursorRect.Bottom + 2));
        if (info.HintPos.y < below.Y) info.HintPos.y = below.Y;
      } else if (hit.HitNode->States & vsMultiline) {
        cursorRect = GetDisplayRect(hit.HitNode, hit.HitColumn, false, true);
        TPoint at = ClientToScreen(cursorRect.TopLeft());
        info.HintPos = POINT{at.X - 1, at.Y - 1};
      } else {
        TRect text = GetDisplayRect(hit.HitNode, hit.HitColumn, true, true);
        int clientWidth = ClientWidth(), clientHeight = ClientHeight();
        bool overText = text.Contains(cursor) && cursor.X >= left && cursor.X < right;
        bool cutOff = text.Right > right || text.Right > clientWidth || text.Left < left || text.Left < 0 ||
                      text.Top < 0 || text.Bottom > clientHeight;
        if (overText && cutOff) {
          cursorRect = text;
          // The tooltip lies exactly over the text, one pixel larger on every side.
          TPoint at = ClientToScreen(text.TopLeft());
          info.HintPos = POINT{at.X - 1, at.Y - 1};
        } else {
          m.Result = 1;
          show = false;
        }
      }
    } else if (hintMode == hmHintAndDefault) {
      hintData.DefaultHint = ShortHint(Hint());
      cursorRect = ClientRect();
      if (hintData.DefaultHint.empty()) {
        m.Result = 1;
        show = false;
      }
    } else {
      m.Result = 1;
      show = false;
    }
    if (scope.TreeGone()) return;
    // A handler that deleted a column meanwhile left the hit's column index stale.
    if ((hit.HitNode != nullptr && Gone(hit.HitNode)) || ColumnSetChanges() != columnSet) {
      m.Result = 1;
      show = false;
    }
    if (show) {
      hintData.Tree = this;
      hintData.Node = hit.HitNode;
      hintData.Column = hit.HitColumn;
    }
  }
  if (m.Result == 0 && show) {
    info.HintWindowClass = GetHintWindowClass();
    info.HintData = &hintData;
    info.CursorRect = cursorRect.ToRECT();
    lastHintRect = cursorRect;
    DoStateChange({tsHint});
  } else {
    lastHintRect = TRect();
    DoStateChange({}, {tsHint});
  }
}

void TBaseVirtualTree::CMHintShowPause(TMessage& m) {
  auto* pause = reinterpret_cast<int*>(m.LParam);
  if (pause == nullptr) return;
  if (hintMode == hmTooltip) {
    *pause = 0;  // tooltips appear at once
    return;
  }
  if (gHintWindowGone && header != nullptr && HeaderColumnCount() > 0 && header->Options().Contains(hoShowHint) &&
      header->Options().Contains(hoVisible)) {
    POINT p;
    GetCursorPos(&p);
    TPoint local = ScreenToClient(Point(p.x, p.y));
    if (header->InHeader(local)) *pause = 0;
  }
}

void TBaseVirtualTree::WMNCDestroy(TMessage& m) {
  // A hint window still showing this tree's hint must not keep the tree.
  if (Application != nullptr) {
    if (auto* window = dynamic_cast<TVirtualTreeHintWindow*>(Application->HintWindow());
        window != nullptr && window->HintData().Tree == this) {
      if (window->Animating()) gHintWindowGone = true;
      window->ForgetTree(this);
      Application->CancelHint();
    }
  }
  lastHintRect = TRect();
  DoStateChange({}, {tsHint, tsInAnimation, tsCancelHintAnimation});
  Inherited(ClassMessageMap(), m);
}

// ---------------------------------------------------------------------------
// The hint window

const TMessageMap* TVirtualTreeHintWindow::ClassMessageMap() {
  static const TMessageMap map(THintWindow::ClassMessageMap(), {
      OnMessage(WM_ERASEBKGND, &TVirtualTreeHintWindow::WMEraseBkgnd),
      OnMessage(WM_NCPAINT, &TVirtualTreeHintWindow::WMNCPaint),
      OnMessage(WM_SHOWWINDOW, &TVirtualTreeHintWindow::WMShowWindow),
  });
  return &map;
}

TVirtualTreeHintWindow::~TVirtualTreeHintWindow() {
  StopAnimation();
  FreeBitmaps();
  gHintWindowGone = true;
}

void TVirtualTreeHintWindow::CreateParams(TCreateParams& params) {
  THintWindow::CreateParams(params);
  params.Style = WS_POPUP;
  params.ExStyle &= ~WS_EX_CLIENTEDGE;
  gHintWindowGone = false;
}

void TBaseVirtualTree::ForgetHintNode(PVirtualNode node) {
  hintData = TVTHintData();
  if (Application == nullptr) return;
  auto* window = dynamic_cast<TVirtualTreeHintWindow*>(Application->HintWindow());
  if (window == nullptr || window->HintData().Tree != this || window->HintData().Node != node) return;
  window->ForgetTree(this);
  if (window->HandleAllocated() && IsWindowVisible(window->Handle())) Application->CancelHint();
}

void TVirtualTreeHintWindow::ForgetTree(TBaseVirtualTree* tree) {
  if (data.Tree != tree) return;
  StopAnimation();
  data = TVTHintData();
}

TRect TVirtualTreeHintWindow::CalcHintRect(int maxWidth, const std::string& hint, void* hintData) {
  if (hintData == nullptr) return TRect();
  SetBiDiMode(bdLeftToRight);
  data = *static_cast<TVTHintData*>(hintData);
  TBaseVirtualTree* tree = data.Tree;
  if (tree == nullptr || tree->Going()) return TRect();
  if (data.Node != nullptr && dynamic_cast<TCustomVirtualDrawTree*>(tree) != nullptr) return data.HintRect;
  // The text's handlers may free the tree (which forgets this hint's data):
  // it lives until the rectangle is made, and a freed one shows no hint.
  TObject::THold hold(tree);

  data.BidiMode = tree->ColumnBiDiMode(data.Column);
  data.Alignment = tree->ColumnAlignment(data.Column);
  if (data.BidiMode != bdLeftToRight) data.Alignment = MirroredAlignment(data.Alignment);
  bool tooltip = tree->HintMode() == hmTooltip && data.Node != nullptr && data.DefaultHint.empty();
  Font()->Assign(tooltip ? tree->Font() : Screen->HintFont());
  if (tooltip) {
    // Measured in the font the cell is drawn in (a string tree sets it per node).
    TRect ignoredRect;
    std::u16string ignoredText;
    tree->GetTextInfo(data.Node, data.Column, Font(), ignoredRect, ignoredText);
    if (tree->Going() || data.Tree != tree || tree->HintNode() != data.Node) {
      data = TVTHintData();
      return TRect();
    }
  }
  HDC dc = GetDC(nullptr);
  HGDIOBJ oldFont = SelectObject(dc, Font()->Handle());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  textHeight = metrics.tmHeight;
  data.LineBreakStyle = hlbDefault;
  if (!data.DefaultHint.empty())
    data.HintText = data.DefaultHint;
  else if (tooltip)
    data.HintText = tree->DoGetNodeTooltip(data.Node, data.Column, data.LineBreakStyle);
  else if (data.Node != nullptr)
    data.HintText = tree->DoGetNodeHint(data.Node, data.Column, data.LineBreakStyle);
  TRect result;
  if (tree->Going() || data.Tree != tree || tree->HintNode() != data.Node) data = TVTHintData();
  if (data.HintText.empty()) {
    SelectObject(dc, oldFont);
    ReleaseDC(nullptr, dc);
    return result;
  }
  auto text = reinterpret_cast<LPCWSTR>(data.HintText.c_str());
  int length = static_cast<int>(data.HintText.size());
  if (tooltip) {
    if (data.LineBreakStyle == hlbDefault)
      data.LineBreakStyle = (data.Node->States & vsMultiline) ? hlbForceMultiLine : hlbForceSingleLine;
    // The rectangle's own handlers may free the node or the tree, which
    // forgets this hint's data: then there is nothing to show.
    PVirtualNode node = data.Node;
    if (data.LineBreakStyle == hlbForceSingleLine) {
      result = tree->GetDisplayRect(node, data.Column, true, true);
      if (data.Node != node || tree->HintNode() != node)
        result = TRect();
      else if (tree->OptionValues().paint.Contains(toShowHorzGridLines))
        --result.Bottom;
    } else {
      result = tree->GetDisplayRect(node, data.Column, false, true);
      if (data.Node != node || tree->HintNode() != node) {
        SelectObject(dc, oldFont);
        ReleaseDC(nullptr, dc);
        return TRect();
      }
      RECT measured = result.ToRECT();
      DrawTextW(dc, text, length, &measured, DT_CALCRECT | DT_WORDBREAK);
      if (data.BidiMode != bdLeftToRight)
        result.Left = measured.left - tree->TextMargin() + 1;
      else
        result.Right = tree->TextMargin() + measured.right;
      result.Bottom = measured.bottom;
      ++result.Right;
      // Wrapped text that fits its node shows nothing.
      bool fits = static_cast<int>(data.Node->NodeHeight) + 2 >= measured.bottom - measured.top;
      if (fits && result.Left >= 0 && result.Right <= tree->ClientWidth() + 3 && result.Top >= 0 &&
          result.Bottom <= tree->ClientHeight() + 3)
        result = TRect();
    }
    if (!result.IsEmpty()) {
      result.Inflate(1, 1);
      result.Offset(-result.Left, -result.Top);
    }
  } else {
    RECT r{0, 0, maxWidth, textHeight};
    DrawTextW(dc, text, length, &r, DT_CALCRECT);
    result = TRect{0, 0, static_cast<int>(r.right) + 2 * tree->TextMargin() + 2, static_cast<int>(r.bottom) + 6};
  }
  SelectObject(dc, oldFont);
  ReleaseDC(nullptr, dc);
  return result;
}

void TVirtualTreeHintWindow::ActivateHintData(TRect r, const std::string& hint, void* hintData) {
  // CalcHintRect took its copy of the data already.
  ActivateHint(r, hint);
}

void TVirtualTreeHintWindow::ActivateHint(TRect r, const std::string& hint) {
  if (r.IsEmpty()) {
    if (Application != nullptr) Application->CancelHint();
    return;
  }
  // A hint shown while this tree's hint still animates (messages are handled
  // during an animation) stops that animation for the moment.
  bool cancelledAtStart = data.Tree != nullptr && data.Tree->TreeStates().Contains(tsInAnimation);
  if (cancelledAtStart) data.Tree->DoStateChange({tsCancelHintAnimation});
  // The hint stays on the desktop.
  TRect desktop = Screen != nullptr ? Screen->WorkAreaRect() : r;
  if (r.Bottom > desktop.Bottom) r.Offset(0, desktop.Bottom - r.Bottom);
  if (r.Right > desktop.Right) r.Offset(desktop.Right - r.Right, 0);
  if (r.Left < desktop.Left) r.Offset(desktop.Left - r.Left, 0);
  HWND window = Handle();
  SetWindowPos(window, nullptr, r.Left, r.Top, r.Width(), r.Height(), SWP_NOACTIVATE | SWP_NOZORDER | SWP_HIDEWINDOW);
  UpdateBoundsRect(r);
  SizeBitmaps(r.Width(), r.Height());
  if (data.Tree != nullptr && data.Tree->HandleAllocated()) UpdateWindow(data.Tree->Handle());
  // The screen under the hint, for fading and sliding over it.
  HDC screen = GetDC(nullptr);
  BitBlt(backgroundDC, 0, 0, r.Width(), r.Height(), screen, r.Left, r.Top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  RenderBuffer();
  SetWindowPos(window, HWND_TOPMOST, r.Left, r.Top, r.Width(), r.Height(), SWP_SHOWWINDOW | SWP_NOACTIVATE);
  TControl::SetVisible(true);
  TBaseVirtualTree* tree = data.Tree;
  animation = tree != nullptr ? tree->DoGetAnimationType() : hatNone;
  if (animation != hatFade && animation != hatSlide) {
    InvalidateRect(window, nullptr, FALSE);
    return;
  }
  ValidateRect(window, nullptr);
  uint32_t duration = tree->AnimationDuration();
  animationSteps = animation == hatFade ? 255 : std::max(1, r.Height());
  // The animation handles the application's messages between its steps: this
  // window, its tree or both may be freed meanwhile (the tree holds itself).
  THold hold(this);
  tree->Animate(static_cast<uint32_t>(animationSteps), animation == hatFade ? 2 * duration : duration,
                [this](int step, int stepSize, void*) { return AnimationStep(step, stepSize); }, nullptr);
  if (Going()) return;
  if (cancelledAtStart && data.Tree != nullptr && HandleAllocated()) {
    // The animation that was running goes on, with this hint.
    data.Tree->DoStateChange({tsInAnimation}, {tsCancelHintAnimation});
    return;
  }
  animationSteps = 0;
  if (HandleAllocated() && IsWindowVisible(handle)) InvalidateRect(handle, nullptr, FALSE);
}

bool TVirtualTreeHintWindow::AnimationStep(int step, int stepSize) {
  if (Going() || !HandleAllocated() || !IsWindowVisible(handle)) return false;
  if (data.Tree == nullptr || data.Tree->TreeStates().Contains(tsCancelHintAnimation)) return false;
  HDC dc = GetDC(handle);
  PaintStep(dc, step, stepSize);
  ReleaseDC(handle, dc);
  if (stepSize == 0) return true;
  // Keys and the rest of the application's messages are handled at once.
  if (Application != nullptr) Application->ProcessMessages();
  return !Going();
}

void TVirtualTreeHintWindow::StopAnimation() {
  if (animationSteps == 0) return;
  animationSteps = 0;
  // A running animation finds the state at its next step and ends.
  if (data.Tree != nullptr && data.Tree->TreeStates().Contains(tsInAnimation))
    data.Tree->DoStateChange({tsCancelHintAnimation});
}

bool TVirtualTreeHintWindow::IsHintMsg(const MSG& msg) {
  if (!HandleAllocated() || !IsWindowVisible(handle)) return false;
  if (msg.message == WM_NCMOUSEMOVE || (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST)) return false;
  return THintWindow::IsHintMsg(msg);
}

void TVirtualTreeHintWindow::SizeBitmaps(int width, int height) {
  if (width == bitmapWidth && height == bitmapHeight && bufferDC != nullptr) return;
  FreeBitmaps();
  HDC screen = GetDC(nullptr);
  auto make = [&](HDC& dc, HBITMAP& bitmap, HGDIOBJ& old) {
    uint8_t* bits = nullptr;
    dc = CreateCompatibleDC(screen);
    bitmap = CreateDib32(width, height, &bits);
    old = SelectObject(dc, bitmap);
  };
  make(backgroundDC, backgroundBitmap, oldBackground);
  make(bufferDC, bufferBitmap, oldBuffer);
  make(targetDC, targetBitmap, oldTarget);
  ReleaseDC(nullptr, screen);
  bitmapWidth = width;
  bitmapHeight = height;
}

void TVirtualTreeHintWindow::FreeBitmaps() {
  auto release = [](HDC& dc, HBITMAP& bitmap, HGDIOBJ old) {
    if (dc == nullptr) return;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    dc = nullptr;
    bitmap = nullptr;
  };
  release(backgroundDC, backgroundBitmap, oldBackground);
  release(bufferDC, bufferBitmap, oldBuffer);
  release(targetDC, targetBitmap, oldTarget);
  bitmapWidth = bitmapHeight = 0;
}

void TVirtualTreeHintWindow::RenderBuffer() {
  if (bufferDC == nullptr) return;
  TBaseVirtualTree* tree = data.Tree;
  bool tooltip = tree != nullptr && tree->HintMode() == hmTooltip && data.Node != nullptr && data.DefaultHint.empty();
  bool multiLine = data.LineBreakStyle == hlbForceMultiLine;
  HFONT font = Font()->Handle();
  // The text's and the drawing's handlers may free the tree (which forgets
  // this hint's data): it lives until the picture is made.
  std::optional<TObject::THold> hold;
  if (tree != nullptr) hold.emplace(tree);
  if (tooltip) {
    // The cell's own font (a string tree sets it per node).
    TRect r;
    std::u16string ignored;
    if (tree->HintNode() != data.Node) return;
    tree->GetTextInfo(data.Node, data.Column, Font(), r, ignored);
    if (tree->Going() || data.Tree != tree || tree->HintNode() != data.Node) return;
    font = Font()->Handle();
  }
  auto* drawTree = dynamic_cast<TCustomVirtualDrawTree*>(tree);
  if (drawTree != nullptr && data.Node != nullptr) {
    if (drawTree->HintNode() != data.Node) return;
    TCanvas* canvas = New<TCanvas>();
    canvas->SetHandle(bufferDC);
    drawTree->DrawHint(canvas, data.Node, TRect{0, 0, bitmapWidth, bitmapHeight}, data.Column);
    canvas->SetHandle(nullptr);
    canvas->Free();
    return;
  }
  HGDIOBJ oldFont = SelectObject(bufferDC, font);
  int offset = 2;
  if (tooltip) offset = multiLine ? 1 : (bitmapHeight - textHeight) / 2;
  SetTextColor(bufferDC, ColorToRGB(clInfoText));
  HBRUSH brush = CreateSolidBrush(ColorToRGB(clInfoBk));
  HGDIOBJ oldBrush = SelectObject(bufferDC, brush);
  HGDIOBJ oldPen = SelectObject(bufferDC, GetStockObject(BLACK_PEN));
  Rectangle(bufferDC, 0, 0, bitmapWidth, bitmapHeight);
  SelectObject(bufferDC, oldPen);
  SelectObject(bufferDC, oldBrush);
  DeleteObject(brush);
  SetBkMode(bufferDC, TRANSPARENT);
  int margin = tree != nullptr ? tree->TextMargin() : 4;
  RECT r{1, 1, bitmapWidth - 1, bitmapHeight - 1};
  UINT flags = DT_NOPREFIX;
  if (data.BidiMode != bdLeftToRight) {
    flags |= DT_RIGHT | DT_RTLREADING;
    r.right -= margin - 1;
  } else {
    r.left += margin;
  }
  r.top = offset;
  if (multiLine) flags |= DT_WORDBREAK;
  DrawTextW(bufferDC, reinterpret_cast<LPCWSTR>(data.HintText.c_str()), static_cast<int>(data.HintText.size()), &r,
            flags);
  SelectObject(bufferDC, oldFont);
}

void TVirtualTreeHintWindow::PaintStep(HDC dc, int step, int stepSize) {
  if (bufferDC == nullptr) return;
  // Step 0 of a running animation shows none of the hint yet.
  if (stepSize == 0 || animationSteps == 0) {
    BitBlt(dc, 0, 0, bitmapWidth, bitmapHeight, bufferDC, 0, 0, SRCCOPY);
    return;
  }
  if (animation == hatSlide) {
    // The bottom rows of the hint come down over the screen behind it.
    int rows = std::min(step, bitmapHeight);
    BitBlt(dc, 0, 0, bitmapWidth, rows, bufferDC, 0, bitmapHeight - rows, SRCCOPY);
    BitBlt(dc, 0, rows, bitmapWidth, bitmapHeight - rows, backgroundDC, 0, rows, SRCCOPY);
    return;
  }
  BitBlt(targetDC, 0, 0, bitmapWidth, bitmapHeight, backgroundDC, 0, 0, SRCCOPY);
  BlendBitmapRect(bufferDC, targetDC, TRect{0, 0, bitmapWidth, bitmapHeight}, TPoint{0, 0}, 0,
                  MulDiv(step, 256, 255), 0);
  BitBlt(dc, 0, 0, bitmapWidth, bitmapHeight, targetDC, 0, 0, SRCCOPY);
}

void TVirtualTreeHintWindow::Paint() {
  if (bufferDC == nullptr) return;
  PaintStep(Canvas()->Handle(), 0, 0);
}

void TVirtualTreeHintWindow::WMEraseBkgnd(TMessage& m) { m.Result = 1; }

void TVirtualTreeHintWindow::WMNCPaint(TMessage& m) { m.Result = 0; }

void TVirtualTreeHintWindow::WMShowWindow(TMessage& m) {
  if (m.WParam == 0) {
    StopAnimation();
    data = TVTHintData();
    gHintWindowGone = false;
  }
  Inherited(ClassMessageMap(), m);
}
