// One header column: its properties, setters with their repaint and resize
// consequences, equality, display name and rectangle.
#include "tree/VirtualTrees.h"

#include <algorithm>
#include <climits>

int ColumnWidthCap(bool ntFamily) { return ntFamily ? INT_MAX : 10000; }

namespace {
// The largest MaxWidth a column may have on this system.
int MaxColumnWidth() {
  static const int cap = [] {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    bool nt = GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    return ColumnWidthCap(nt);
  }();
  return cap;
}
}  // namespace

void TVirtualTreeColumn::Create(TVirtualTreeColumns* collection) {
  owner = collection;
  options = MaskToColumnOptions(kDefaultColumnOptions);
  TBaseVirtualTree* tree = Tree();
  if (tree != nullptr) {
    bidiMode = tree->BiDiMode();
    color = tree->Color();
  }
}

TBaseVirtualTree* TVirtualTreeColumn::Tree() const { return owner != nullptr ? owner->Tree() : nullptr; }

bool TVirtualTreeColumn::TreeLoading() const {
  TBaseVirtualTree* tree = Tree();
  return tree != nullptr && tree->IsTreeLoading();
}

bool TVirtualTreeColumn::CollectionUpdating() const { return owner != nullptr && owner->UpdateCount() > 0; }

void TVirtualTreeColumn::Changed(bool allItems) {
  if (owner != nullptr && !going) owner->Update(allItems ? nullptr : this);
}

bool TVirtualTreeColumn::BeginRelease() {
  if (going) return false;
  going = true;
  return true;
}

void TVirtualTreeColumn::BeforeDestruction() {
  if (owner != nullptr && owner->Items(index) == this) owner->Detach(this);
  TPersistent::BeforeDestruction();
}

bool TVirtualTreeColumn::KeepUntilUnheld() { return owner != nullptr && owner->KeepGoing(this); }

int TVirtualTreeColumn::Left() const {
  TBaseVirtualTree* tree = Tree();
  if ((options.Contains(coVisible) && options.Contains(coFixed)) || tree == nullptr) return left;
  return left + tree->OffsetX();
}

void TVirtualTreeColumn::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  Changed(false);
  if (Tree() != nullptr) Tree()->InvalidateWhole();
}

void TVirtualTreeColumn::SetBiDiMode(TBiDiMode value) {
  if (value == bidiMode) return;
  bidiMode = value;
  options.Exclude(coParentBidiMode);
  Changed(false);
  if (Tree() != nullptr) Tree()->InvalidateWhole();
}

void TVirtualTreeColumn::SetColor(TColor value) {
  if (value == color) return;
  color = value;
  options.Exclude(coParentColor);
  Changed(false);
  if (Tree() != nullptr) Tree()->InvalidateWhole();
}

void TVirtualTreeColumn::SetImageIndex(int value) {
  if (value == imageIndex) return;
  imageIndex = value;
  Changed(false);
}

void TVirtualTreeColumn::SetLayout(TVTHeaderColumnLayout value) {
  if (value == layout) return;
  layout = value;
  Changed(false);
}

void TVirtualTreeColumn::SetMargin(int value) {
  if (value < 0) value = 4;
  if (value == margin) return;
  margin = value;
  Changed(false);
}

void TVirtualTreeColumn::SetSpacing(int value) {
  if (value == spacing) return;
  spacing = value;
  Changed(false);
}

void TVirtualTreeColumn::SetStyle(TVirtualTreeColumnStyle value) {
  if (value == style) return;
  style = value;
  Changed(false);
}

void TVirtualTreeColumn::SetText(const std::u16string& value) {
  if (value == text) return;
  text = value;
  Changed(false);
}

void TVirtualTreeColumn::SetMinWidth(int value) {
  value = std::clamp(value, 0, MaxColumnWidth());
  if (value == minWidth) return;
  minWidth = value;
  if (maxWidth < minWidth) maxWidth = minWidth;
  ApplyWidth(width, /*evenAutoSize=*/true);
}

void TVirtualTreeColumn::SetMaxWidth(int value) {
  value = std::clamp(value, minWidth, MaxColumnWidth());
  if (value == maxWidth) return;
  maxWidth = value;
  ApplyWidth(width, /*evenAutoSize=*/true);
}

void TVirtualTreeColumn::SetWidth(int value) { ApplyWidth(value, /*evenAutoSize=*/false); }

void TVirtualTreeColumn::ApplyWidth(int value, bool evenAutoSize) {
  value = std::clamp(value, minWidth, maxWidth);
  if (value == width || going) return;
  TVTHeader* header = owner != nullptr ? owner->Header() : nullptr;
  bool autoResize = header != nullptr && header->Options().Contains(hoAutoResize);
  // With hoAutoResize the auto-size column changes only through AdjustAutoSize
  // (and when its own limits force it).
  if (autoResize && !evenAutoSize && !header->States().Contains(hsLoading) && !TreeLoading()) {
    TColumnIndex autoIndex = header->AutoSizeIndex();
    if (autoIndex < 0 || autoIndex >= owner->Count()) autoIndex = owner->Count() - 1;
    if (autoIndex == index) return;
  }
  lastWidth = width;
  width = value;
  if (owner != nullptr) owner->UpdatePositions();
  if (TreeLoading() || CollectionUpdating() || owner == nullptr) return;
  if (autoResize) owner->AdjustAutoSize(index);
  // A resize handler of the auto-size column may have deleted this one.
  if (!going && Tree() != nullptr) Tree()->DoColumnResize(index);
}

void TVirtualTreeColumn::SetOptions(TVTColumnOptions value) {
  if (value == options || going) return;
  TVTColumnOptions old = options;
  options = value;
  TBaseVirtualTree* tree = Tree();
  bool visibleChanged = old.Contains(coVisible) != value.Contains(coVisible);
  bool parentColorAdded = !old.Contains(coParentColor) && value.Contains(coParentColor);
  if (!old.Contains(coParentBidiMode) && value.Contains(coParentBidiMode) && tree != nullptr)
    bidiMode = tree->BiDiMode();
  if (parentColorAdded && tree != nullptr) color = tree->Color();
  if (!old.Contains(coAutoSpring) && value.Contains(coAutoSpring)) springRest = 0;
  if (visibleChanged && owner != nullptr) owner->UpdatePositions();
  Changed(false);
  if (tree == nullptr || TreeLoading() || tree->UpdateCount() > 0) return;
  if (visibleChanged || parentColorAdded) tree->InvalidateWhole();
  if (visibleChanged) tree->UpdateHorizontalScrollBar(false);
}

void TVirtualTreeColumn::SetPosition(TColumnPosition value) {
  if (value < 0) value = 0;
  if (going) return;
  if (TreeLoading() || owner == nullptr) {
    position = value;
    return;
  }
  if (value > owner->Count() - 1) value = owner->Count() - 1;
  if (value != position) {
    owner->FixPositions();
    if (Tree() != nullptr) Tree()->CancelEditNode();
    if (going) return;  // an edit handler deleted the column
    owner->MoveInPositions(this, position, value);
    Changed(false);
    if (!CollectionUpdating()) {
      owner->Header()->Invalidate(this);
      if (Tree() != nullptr) Tree()->InvalidateWhole();
    }
  }
  // Fixed columns stay together at the left: the neighbour decides.
  TColumnIndex neighbour =
      options.Contains(coFixed) && position > 0 ? owner->ColumnFromPositionIndex(position - 1)
                                                 : owner->ColumnFromPositionIndex(position + 1);
  TVirtualTreeColumn* other = owner->Items(neighbour);
  if (other == nullptr) return;
  bool fixed = other->Options().Contains(coFixed);
  if (fixed != options.Contains(coFixed)) {
    options.Set(coFixed, fixed);
    owner->UpdatePositions();
  }
}

std::u16string TVirtualTreeColumn::GetDisplayName() const {
  bool narrow = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 256; });
  if (narrow) return text;
  std::string name = "Column " + std::to_string(index);
  return std::u16string(name.begin(), name.end());
}

void TVirtualTreeColumn::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TVirtualTreeColumn*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  // Options are off while copying so that parent options do not overwrite the copied bidi mode and colour.
  options = TVTColumnOptions();
  SetBiDiMode(other->BiDiMode());
  SetImageIndex(other->ImageIndex());
  SetLayout(other->Layout());
  SetMargin(other->Margin());
  SetMinWidth(other->MinWidth());
  SetMaxWidth(other->MaxWidth());
  SetPosition(other->Position());
  SetSpacing(other->Spacing());
  SetStyle(other->Style());
  SetText(other->Text());
  SetHint(other->Hint());
  SetWidth(other->Width());
  SetAlignment(other->Alignment());
  SetColor(other->Color());
  SetTag(other->Tag());
  SetOptions(other->Options());
}

bool TVirtualTreeColumn::Equals(const TVirtualTreeColumn* other) const {
  return other != nullptr && bidiMode == other->bidiMode && imageIndex == other->imageIndex &&
         layout == other->layout && margin == other->margin && maxWidth == other->maxWidth &&
         minWidth == other->minWidth && width == other->width && spacing == other->spacing &&
         style == other->style && text == other->text && hint == other->hint && position == other->position &&
         alignment == other->alignment && color == other->color && tag == other->tag && options == other->options;
}

TRect TVirtualTreeColumn::GetRect() const {
  TBaseVirtualTree* tree = Tree();
  TRect header = tree != nullptr ? tree->HeaderRect() : TRect();
  int l = header.Left + left;
  return TRect{l, header.Top, l + width, header.Bottom};
}

void TVirtualTreeColumn::RestoreLastWidth() {
  if (owner != nullptr) owner->AnimatedResize(index, lastWidth);
}

uint16_t ColumnOptionsToMask(TVTColumnOptions value) {
  return static_cast<uint16_t>(SetToMask<TVTColumnOptions, TVTColumnOption>(value, kColumnOptionCount));
}

TVTColumnOptions MaskToColumnOptions(uint32_t mask) {
  TVTColumnOptions result;
  for (int i = 0; i < kColumnOptionCount; ++i)
    if (mask & (1u << i)) result.Include(static_cast<TVTColumnOption>(i));
  return result;
}

uint16_t HeaderOptionsToMask(TVTHeaderOptions value) {
  return static_cast<uint16_t>(SetToMask<TVTHeaderOptions, TVTHeaderOption>(value, kHeaderOptionCount));
}

TVTHeaderOptions MaskToHeaderOptions(uint32_t mask) {
  TVTHeaderOptions result;
  for (int i = 0; i < kHeaderOptionCount; ++i)
    if (mask & (1u << i)) result.Include(static_cast<TVTHeaderOption>(i));
  return result;
}
