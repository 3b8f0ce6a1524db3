// Published properties of the header and its columns, so that form
// definitions configure a tree's header by name ("Header.Columns = < ... >").
#include "tree/VirtualTrees.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kAlignmentNames{"taLeftJustify", "taRightJustify", "taCenter"};
const TEnumNames kBiDiModeNames{"bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly"};
const TEnumNames kColumnStyleNames{"vsText", "vsOwnerDraw"};
const TEnumNames kLayoutNames{"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"};
const TEnumNames kColumnOptionNames{"coAllowClick", "coDraggable",    "coEnabled", "coParentBidiMode",
                                    "coParentColor", "coResizable",   "coShowDropMark", "coVisible",
                                    "coAutoSpring",  "coFixed"};
const TEnumNames kHeaderOptionNames{"hoAutoResize",  "hoColumnResize", "hoDblClickResize", "hoDrag",
                                    "hoHotTrack",    "hoOwnerDraw",    "hoRestrictDrag",   "hoShowHint",
                                    "hoShowImages",  "hoShowSortGlyphs", "hoVisible",      "hoAutoSpring"};
const TEnumNames kHeaderStyleNames{"hsThickButtons", "hsFlatButtons", "hsPlates", "hsXPStyle"};
const TEnumNames kSortDirectionNames{"sdAscending", "sdDescending"};

const TClassRegistrar<TVirtualTreeColumn, void> kColumnRegistrar("TVirtualTreeColumn", {
    EnumProp("Alignment", &TVirtualTreeColumn::Alignment, &TVirtualTreeColumn::SetAlignment, kAlignmentNames),
    EnumProp("BiDiMode", &TVirtualTreeColumn::BiDiMode, &TVirtualTreeColumn::SetBiDiMode, kBiDiModeNames),
    ColorProp("Color", &TVirtualTreeColumn::Color, &TVirtualTreeColumn::SetColor),
    Prop("Hint", &TVirtualTreeColumn::Hint, &TVirtualTreeColumn::SetHint),
    Prop("ImageIndex", &TVirtualTreeColumn::ImageIndex, &TVirtualTreeColumn::SetImageIndex),
    EnumProp("Layout", &TVirtualTreeColumn::Layout, &TVirtualTreeColumn::SetLayout, kLayoutNames),
    Prop("Margin", &TVirtualTreeColumn::Margin, &TVirtualTreeColumn::SetMargin),
    Prop("MaxWidth", &TVirtualTreeColumn::MaxWidth, &TVirtualTreeColumn::SetMaxWidth),
    Prop("MinWidth", &TVirtualTreeColumn::MinWidth, &TVirtualTreeColumn::SetMinWidth),
    SetOfProp("Options", &TVirtualTreeColumn::Options, &TVirtualTreeColumn::SetOptions, kColumnOptionNames),
    Prop("Position", &TVirtualTreeColumn::Position, &TVirtualTreeColumn::SetPosition),
    Prop("Spacing", &TVirtualTreeColumn::Spacing, &TVirtualTreeColumn::SetSpacing),
    EnumProp("Style", &TVirtualTreeColumn::Style, &TVirtualTreeColumn::SetStyle, kColumnStyleNames),
    Prop("Tag", &TVirtualTreeColumn::Tag, &TVirtualTreeColumn::SetTag),
    Prop("Text", &TVirtualTreeColumn::Text, &TVirtualTreeColumn::SetText),
    Prop("Width", &TVirtualTreeColumn::Width, &TVirtualTreeColumn::SetWidth),
});

// Reading "Columns" in a definition replaces every column (the header loads until the tree's Loaded).
TObject* AddColumn(TVTHeader* header) { return header->Columns()->Add(); }

const TClassRegistrar<TVTHeader, void> kHeaderRegistrar("TVTHeader", {
    Prop("AutoSizeIndex", &TVTHeader::AutoSizeIndex, &TVTHeader::SetAutoSizeIndex),
    ColorProp("Background", &TVTHeader::Background, &TVTHeader::SetBackground),
    // Written only when the header wants its columns kept in the form (CanWriteColumns).
    Stored(CollectionProp<TVTHeader>(
               "Columns", [](TVTHeader* h) { h->BeginColumnsRead(); }, AddColumn,
               [](TVTHeader* h) { return h->Columns()->Count(); },
               [](TVTHeader* h, int i) -> TObject* { return h->Columns()->Items(i); }),
           [](TObject* h) { return static_cast<TVTHeader*>(h)->CanWriteColumns(); }),
    ObjectProp("Font", &TVTHeader::Font),
    Prop("Height", &TVTHeader::Height, &TVTHeader::SetHeight),
    ComponentProp("Images", &TVTHeader::Images, &TVTHeader::SetImages),
    Prop("MainColumn", &TVTHeader::MainColumn, &TVTHeader::SetMainColumn),
    SetOfProp("Options", &TVTHeader::Options, &TVTHeader::SetOptions, kHeaderOptionNames),
    Prop("ParentFont", &TVTHeader::ParentFont, &TVTHeader::SetParentFont),
    ComponentProp("PopupMenu", &TVTHeader::PopupMenu, &TVTHeader::SetPopupMenu),
    Prop("SortColumn", &TVTHeader::SortColumn, &TVTHeader::SetSortColumn),
    EnumProp("SortDirection", &TVTHeader::SortDirection, &TVTHeader::SetSortDirection, kSortDirectionNames),
    EnumProp("Style", &TVTHeader::Style, &TVTHeader::SetStyle, kHeaderStyleNames),
});

}  // namespace

void LinkHeaderProperties() {}
