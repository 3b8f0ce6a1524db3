// Published properties of the tree and its sub-objects, so that form
// definitions create trees by class name and set their properties by name.
// Properties equal to their defaults are simply not written in a definition.
#include "tree/VirtualTrees.h"
#include "tree/TreeOptionNames.h"

#include "win/ClassInfo.h"
#include "win/FormReader.h"

const TEnumNames& TreeAutoOptionNames() {
  static const TEnumNames names{
      "toAutoDropExpand", "toAutoExpand", "toAutoScroll", "toAutoScrollOnExpand", "toAutoSort", "toAutoSpanColumns",
      "toAutoTristateTracking", "toAutoHideButtons", "toAutoDeleteMovedNodes", "toDisableAutoscrollOnFocus",
      "toAutoChangeScale", "toAutoFreeOnCollapse", "toDisableAutoscrollOnEdit"};
  return names;
}

const TEnumNames& TreeSelectionOptionNames() {
  static const TEnumNames names{
      "toDisableDrawSelection", "toExtendedFocus", "toFullRowSelect", "toLevelSelectConstraint", "toMiddleClickSelect",
      "toMultiSelect", "toRightClickSelect", "toSiblingSelectConstraint", "toCenterScrollIntoView",
      "toSimpleDrawSelection"};
  return names;
}

namespace {

const TEnumNames kAlignmentNames{"taLeftJustify", "taRightJustify", "taCenter"};
const TEnumNames kBorderStyleNames{"bsNone", "bsSingle"};
const TEnumNames kButtonFillModeNames{"fmTreeColor", "fmWindowColor", "fmShaded", "fmTransparent"};
const TEnumNames kButtonStyleNames{"bsRectangle", "bsTriangle"};
const TEnumNames kCheckImageKindNames{"ckLightCheck", "ckDarkCheck", "ckLightTick", "ckDarkTick", "ckFlat",
                                      "ckXP",         "ckCustom",    "ckSystem",    "ckSystemFlat"};
const TEnumNames kPasteModeNames{"amNoWhere", "amInsertBefore", "amInsertAfter", "amAddChildFirst", "amAddChildLast"};
const TEnumNames kDragImageKindNames{"diComplete", "diMainColumnOnly", "diNoImage"};
const TEnumNames kDragOperationNames{"doCopy", "doMove", "doLink"};
const TEnumNames kDragTypeNames{"dtOLE", "dtVCL"};
const TEnumNames kDrawSelectionModeNames{"smDottedRectangle", "smBlendedRectangle"};
const TEnumNames kHintAnimationNames{"hatNone", "hatFade", "hatSlide", "hatSystemDefault"};
const TEnumNames kHintModeNames{"hmDefault", "hmHint", "hmHintAndDefault", "hmTooltip"};
const TEnumNames kIncrementalSearchNames{"isAll", "isNone", "isInitializedOnly", "isVisibleOnly"};
const TEnumNames kSearchDirectionNames{"sdForward", "sdBackward"};
const TEnumNames kSearchStartNames{"ssAlwaysStartOver", "ssLastHit", "ssFocusedNode"};
const TEnumNames kLineModeNames{"lmNormal", "lmBands"};
const TEnumNames kLineStyleNames{"lsCustomStyle", "lsDotted", "lsSolid"};
const TEnumNames kNodeAlignmentNames{"naFromBottom", "naFromTop", "naProportional"};
const TEnumNames kScrollStyleNames{"ssNone", "ssHorizontal", "ssVertical", "ssBoth"};
const TEnumNames kScrollBarStyleNames{"sbmRegular", "sbmFlat", "sbm3D"};
const TEnumNames kPaintOptionNames{
    "toHideFocusRect", "toHideSelection", "toHotTrack", "toPopupMode", "toShowBackground", "toShowButtons",
    "toShowDropmark", "toShowHorzGridLines", "toShowRoot", "toShowTreeLines", "toShowVertGridLines",
    "toThemeAware", "toUseBlendedImages", "toGhostedIfUnfocused", "toFullVertGridLines", "toAlwaysHideSelection",
    "toUseBlendedSelection", "toStaticBackground"};
const TEnumNames kAnimationOptionNames{"toAnimatedToggle"};
const TEnumNames kMiscOptionNames{
    "toAcceptOLEDrop", "toCheckSupport", "toEditable", "toFullRepaintOnResize", "toGridExtensions", "toInitOnSave",
    "toReportMode", "toToggleOnDblClick", "toWheelPanning", "toReadOnly", "toVariableNodeHeight", "toFullRowDrag"};

// An event of the node model, published on the tree.
template <class Sig>
TPropInfo CoreEvent(const char* name, TDoorEvent<Sig, TVirtualTreeCore> TVirtualTreeCore::*member) {
  using Member = TDoorEvent<Sig, TVirtualTreeCore> TBaseVirtualTree::*;
  return EventProp<TBaseVirtualTree>(name, static_cast<Member>(member));
}

// A property of the node model read and written as an unsigned integer.
TPropInfo CoreCount(const char* name, uint32_t (TVirtualTreeCore::*get)() const,
                    void (TBaseVirtualTree::*set)(uint32_t)) {
  return Prop<TBaseVirtualTree, uint32_t, uint32_t>(name, static_cast<uint32_t (TBaseVirtualTree::*)() const>(get),
                                                    set);
}


const TClassRegistrar<TCustomVirtualTreeOptions, void> kOptionsRegistrar("TCustomVirtualTreeOptions", {
    SetOfProp("AnimationOptions", &TCustomVirtualTreeOptions::AnimationOptions,
              &TCustomVirtualTreeOptions::SetAnimationOptions, kAnimationOptionNames),
    SetOfProp("AutoOptions", &TCustomVirtualTreeOptions::AutoOptions, &TCustomVirtualTreeOptions::SetAutoOptions,
              TreeAutoOptionNames()),
    SetOfProp("MiscOptions", &TCustomVirtualTreeOptions::MiscOptions, &TCustomVirtualTreeOptions::SetMiscOptions,
              kMiscOptionNames),
    SetOfProp("PaintOptions", &TCustomVirtualTreeOptions::PaintOptions, &TCustomVirtualTreeOptions::SetPaintOptions,
              kPaintOptionNames),
    SetOfProp("SelectionOptions", &TCustomVirtualTreeOptions::SelectionOptions,
              &TCustomVirtualTreeOptions::SetSelectionOptions, TreeSelectionOptionNames()),
});

const TClassRegistrar<TVTColors, void> kColorsRegistrar("TVTColors", {
    ColorProp("DisabledColor", &TVTColors::DisabledColor, &TVTColors::SetDisabledColor),
    ColorProp("DropMarkColor", &TVTColors::DropMarkColor, &TVTColors::SetDropMarkColor),
    ColorProp("DropTargetColor", &TVTColors::DropTargetColor, &TVTColors::SetDropTargetColor),
    ColorProp("FocusedSelectionColor", &TVTColors::FocusedSelectionColor, &TVTColors::SetFocusedSelectionColor),
    ColorProp("GridLineColor", &TVTColors::GridLineColor, &TVTColors::SetGridLineColor),
    ColorProp("TreeLineColor", &TVTColors::TreeLineColor, &TVTColors::SetTreeLineColor),
    ColorProp("UnfocusedSelectionColor", &TVTColors::UnfocusedSelectionColor, &TVTColors::SetUnfocusedSelectionColor),
    ColorProp("BorderColor", &TVTColors::BorderColor, &TVTColors::SetBorderColor),
    ColorProp("HotColor", &TVTColors::HotColor, &TVTColors::SetHotColor),
    ColorProp("FocusedSelectionBorderColor", &TVTColors::FocusedSelectionBorderColor, &TVTColors::SetFocusedSelectionBorderColor),
    ColorProp("UnfocusedSelectionBorderColor", &TVTColors::UnfocusedSelectionBorderColor, &TVTColors::SetUnfocusedSelectionBorderColor),
    ColorProp("DropTargetBorderColor", &TVTColors::DropTargetBorderColor, &TVTColors::SetDropTargetBorderColor),
    ColorProp("SelectionRectangleBlendColor", &TVTColors::SelectionRectangleBlendColor, &TVTColors::SetSelectionRectangleBlendColor),
    ColorProp("SelectionRectangleBorderColor", &TVTColors::SelectionRectangleBorderColor, &TVTColors::SetSelectionRectangleBorderColor),
    ColorProp("HeaderHotColor", &TVTColors::HeaderHotColor, &TVTColors::SetHeaderHotColor),
});

const TClassRegistrar<TScrollBarOptions, void> kScrollBarOptionsRegistrar("TScrollBarOptions", {
    Prop("AlwaysVisible", &TScrollBarOptions::AlwaysVisible, &TScrollBarOptions::SetAlwaysVisible),
    Prop("HorizontalIncrement", &TScrollBarOptions::HorizontalIncrement, &TScrollBarOptions::SetHorizontalIncrement),
    EnumProp("ScrollBars", &TScrollBarOptions::ScrollBars, &TScrollBarOptions::SetScrollBars, kScrollStyleNames),
    EnumProp("ScrollBarStyle", &TScrollBarOptions::ScrollBarStyle, &TScrollBarOptions::SetScrollBarStyle,
             kScrollBarStyleNames),
    Prop("VerticalIncrement", &TScrollBarOptions::VerticalIncrement, &TScrollBarOptions::SetVerticalIncrement),
});

// The one option set of older definitions ("Options"); a value that is not a
// set changes nothing.
void ReadOldOptions(TBaseVirtualTree* tree, const TFormValue& value) {
  if (value.kind == TFormValue::vkSet) tree->ReadOldOptions(value.names);
}

const TClassRegistrar<TBaseVirtualTree, TCustomControl> kTreeRegistrar("TBaseVirtualTree", {
    DefinedProp<TBaseVirtualTree>("Options", &ReadOldOptions),
    EnumProp("Alignment", &TBaseVirtualTree::Alignment, &TBaseVirtualTree::SetAlignment, kAlignmentNames),
    Prop("AnimationDuration", &TBaseVirtualTree::AnimationDuration, &TBaseVirtualTree::SetAnimationDuration),
    Prop("AutoExpandDelay", &TBaseVirtualTree::AutoExpandDelay, &TBaseVirtualTree::SetAutoExpandDelay),
    Prop("AutoScrollDelay", &TBaseVirtualTree::AutoScrollDelay, &TBaseVirtualTree::SetAutoScrollDelay),
    Prop("AutoScrollInterval", &TBaseVirtualTree::AutoScrollInterval, &TBaseVirtualTree::SetAutoScrollInterval),
    Prop("BackgroundOffsetX", &TBaseVirtualTree::BackgroundOffsetX, &TBaseVirtualTree::SetBackgroundOffsetX),
    Prop("BackgroundOffsetY", &TBaseVirtualTree::BackgroundOffsetY, &TBaseVirtualTree::SetBackgroundOffsetY),
    EnumProp("BorderStyle", &TBaseVirtualTree::BorderStyle, &TBaseVirtualTree::SetBorderStyle, kBorderStyleNames),
    EnumProp("ButtonFillMode", &TBaseVirtualTree::ButtonFillMode, &TBaseVirtualTree::SetButtonFillMode,
             kButtonFillModeNames),
    EnumProp("ButtonStyle", &TBaseVirtualTree::ButtonStyle, &TBaseVirtualTree::SetButtonStyle, kButtonStyleNames),
    Prop<TBaseVirtualTree, uint32_t, uint32_t>(
        "ChangeDelay", static_cast<uint32_t (TBaseVirtualTree::*)() const>(&TVirtualTreeCore::ChangeDelay),
        static_cast<void (TBaseVirtualTree::*)(uint32_t)>(&TVirtualTreeCore::SetChangeDelay)),
    EnumProp("CheckImageKind", &TBaseVirtualTree::CheckImageKind, &TBaseVirtualTree::SetCheckImageKind,
             kCheckImageKindNames),
    ObjectProp("Background", &TBaseVirtualTree::Background),
    StringsProp("ClipboardFormats", &TBaseVirtualTree::ClipboardFormats),
    ObjectProp("Colors", &TBaseVirtualTree::Colors),
    ComponentProp("CustomCheckImages", &TBaseVirtualTree::CustomCheckImages, &TBaseVirtualTree::SetCustomCheckImages),
    CoreCount("DefaultNodeHeight", &TVirtualTreeCore::DefaultNodeHeight, &TBaseVirtualTree::SetDefaultNodeHeight),
    EnumProp("DefaultPasteMode", &TBaseVirtualTree::DefaultPasteMode, &TBaseVirtualTree::SetDefaultPasteMode,
             kPasteModeNames),
    Prop("DragHeight", &TBaseVirtualTree::DragHeight, &TBaseVirtualTree::SetDragHeight),
    EnumProp("DragImageKind", &TBaseVirtualTree::DragImageKind, &TBaseVirtualTree::SetDragImageKind,
             kDragImageKindNames),
    SetOfProp("DragOperations", &TBaseVirtualTree::DragOperations, &TBaseVirtualTree::SetDragOperations,
              kDragOperationNames),
    EnumProp("DragType", &TBaseVirtualTree::DragType, &TBaseVirtualTree::SetDragType, kDragTypeNames),
    Prop("DragWidth", &TBaseVirtualTree::DragWidth, &TBaseVirtualTree::SetDragWidth),
    EnumProp("DrawSelectionMode", &TBaseVirtualTree::DrawSelectionMode, &TBaseVirtualTree::SetDrawSelectionMode,
             kDrawSelectionModeNames),
    Prop("EditDelay", &TBaseVirtualTree::EditDelay, &TBaseVirtualTree::SetEditDelay),
    EnumProp("HintAnimation", &TBaseVirtualTree::HintAnimation, &TBaseVirtualTree::SetHintAnimation,
             kHintAnimationNames),
    EnumProp("HintMode", &TBaseVirtualTree::HintMode, &TBaseVirtualTree::SetHintMode, kHintModeNames),
    CursorProp("HotCursor", &TBaseVirtualTree::HotCursor, &TBaseVirtualTree::SetHotCursor),
    ObjectProp("Header", &TBaseVirtualTree::Header),
    ComponentProp("Images", &TBaseVirtualTree::Images, &TBaseVirtualTree::SetImages),
    EnumProp("IncrementalSearch", &TBaseVirtualTree::IncrementalSearch, &TBaseVirtualTree::SetIncrementalSearch,
             kIncrementalSearchNames),
    EnumProp("IncrementalSearchDirection", &TBaseVirtualTree::IncrementalSearchDirection,
             &TBaseVirtualTree::SetIncrementalSearchDirection, kSearchDirectionNames),
    EnumProp("IncrementalSearchStart", &TBaseVirtualTree::IncrementalSearchStart,
             &TBaseVirtualTree::SetIncrementalSearchStart, kSearchStartNames),
    Prop("IncrementalSearchTimeout", &TBaseVirtualTree::IncrementalSearchTimeout,
         &TBaseVirtualTree::SetIncrementalSearchTimeout),
    Prop("Indent", &TBaseVirtualTree::Indent, &TBaseVirtualTree::SetIndent),
    EnumProp("LineMode", &TBaseVirtualTree::LineMode, &TBaseVirtualTree::SetLineMode, kLineModeNames),
    EnumProp("LineStyle", &TBaseVirtualTree::LineStyle, &TBaseVirtualTree::SetLineStyle, kLineStyleNames),
    Prop("Margin", &TBaseVirtualTree::Margin, &TBaseVirtualTree::SetMargin),
    EnumProp("NodeAlignment", &TBaseVirtualTree::NodeAlignment, &TBaseVirtualTree::SetNodeAlignment,
             kNodeAlignmentNames),
    Prop<TBaseVirtualTree, int, int>("NodeDataSize", static_cast<int (TBaseVirtualTree::*)() const>(&TVirtualTreeCore::NodeDataSize),
                                     static_cast<void (TBaseVirtualTree::*)(int)>(&TVirtualTreeCore::SetNodeDataSize)),
    CoreCount("RootNodeCount", &TVirtualTreeCore::GetRootNodeCount, &TBaseVirtualTree::SetRootNodeCount),
    ObjectProp("ScrollBarOptions", &TBaseVirtualTree::ScrollBarOptions),
    Prop("SelectionBlendFactor", &TBaseVirtualTree::SelectionBlendFactor, &TBaseVirtualTree::SetSelectionBlendFactor),
    Prop("SelectionCurveRadius", &TBaseVirtualTree::SelectionCurveRadius, &TBaseVirtualTree::SetSelectionCurveRadius),
    ComponentProp("StateImages", &TBaseVirtualTree::StateImages, &TBaseVirtualTree::SetStateImages),
    Prop("TextMargin", &TBaseVirtualTree::TextMargin, &TBaseVirtualTree::SetTextMargin),
    ObjectProp("TreeOptions", &TBaseVirtualTree::TreeOptions),
    Prop("WantTabs", &TBaseVirtualTree::WantTabs, &TBaseVirtualTree::SetWantTabs),
    CoreEvent("OnInitNode", &TVirtualTreeCore::OnInitNode),
    CoreEvent("OnInitChildren", &TVirtualTreeCore::OnInitChildren),
    CoreEvent("OnFreeNode", &TVirtualTreeCore::OnFreeNode),
    CoreEvent("OnChecked", &TVirtualTreeCore::OnChecked),
    CoreEvent("OnChecking", &TVirtualTreeCore::OnChecking),
    CoreEvent("OnCollapsed", &TVirtualTreeCore::OnCollapsed),
    CoreEvent("OnCollapsing", &TVirtualTreeCore::OnCollapsing),
    CoreEvent("OnExpanded", &TVirtualTreeCore::OnExpanded),
    CoreEvent("OnExpanding", &TVirtualTreeCore::OnExpanding),
    CoreEvent("OnChange", &TVirtualTreeCore::OnChange),
    CoreEvent("OnResetNode", &TVirtualTreeCore::OnResetNode),
    CoreEvent("OnCompareNodes", &TVirtualTreeCore::OnCompareNodes),
    CoreEvent("OnGetNodeDataSize", &TVirtualTreeCore::OnGetNodeDataSize),
    CoreEvent("OnMeasureItem", &TVirtualTreeCore::OnMeasureItem),
    CoreEvent("OnSaveNode", &TVirtualTreeCore::OnSaveNode),
    CoreEvent("OnLoadNode", &TVirtualTreeCore::OnLoadNode),
    CoreEvent("OnNodeCopied", &TVirtualTreeCore::OnNodeCopied),
    CoreEvent("OnNodeCopying", &TVirtualTreeCore::OnNodeCopying),
    CoreEvent("OnNodeMoved", &TVirtualTreeCore::OnNodeMoved),
    CoreEvent("OnNodeMoving", &TVirtualTreeCore::OnNodeMoving),
    CoreEvent("OnStateChange", &TVirtualTreeCore::OnStateChange),
    CoreEvent("OnStructureChange", &TVirtualTreeCore::OnStructureChange),
    CoreEvent("OnUpdating", &TVirtualTreeCore::OnUpdating),
    CoreEvent("OnFocusChanged", &TVirtualTreeCore::OnFocusChanged),
    CoreEvent("OnFocusChanging", &TVirtualTreeCore::OnFocusChanging),
    CoreEvent("OnHotChange", &TVirtualTreeCore::OnHotChange),
    CoreEvent("OnIncrementalSearch", &TVirtualTreeCore::OnIncrementalSearch),
    CoreEvent("OnGetCellIsEmpty", &TVirtualTreeCore::OnGetCellIsEmpty),
    CoreEvent("OnDragAllowed", &TVirtualTreeCore::OnDragAllowed),
    CoreEvent("OnEditing", &TVirtualTreeCore::OnEditing),
    CoreEvent("OnEdited", &TVirtualTreeCore::OnEdited),
    CoreEvent("OnEditCancelled", &TVirtualTreeCore::OnEditCancelled),
    CoreEvent("OnCreateEditor", &TVirtualTreeCore::OnCreateEditor),
    CoreEvent("OnScroll", &TVirtualTreeCore::OnScroll),
    EventProp("OnAdvancedHeaderDraw", &TBaseVirtualTree::OnAdvancedHeaderDraw),
    EventProp("OnAfterCellPaint", &TBaseVirtualTree::OnAfterCellPaint),
    EventProp("OnAfterItemErase", &TBaseVirtualTree::OnAfterItemErase),
    EventProp("OnAfterItemPaint", &TBaseVirtualTree::OnAfterItemPaint),
    EventProp("OnAfterPaint", &TBaseVirtualTree::OnAfterPaint),
    EventProp("OnBeforeCellPaint", &TBaseVirtualTree::OnBeforeCellPaint),
    EventProp("OnBeforeItemErase", &TBaseVirtualTree::OnBeforeItemErase),
    EventProp("OnBeforeItemPaint", &TBaseVirtualTree::OnBeforeItemPaint),
    EventProp("OnBeforePaint", &TBaseVirtualTree::OnBeforePaint),
    EventProp("OnColumnClick", &TBaseVirtualTree::OnColumnClick),
    EventProp("OnColumnDblClick", &TBaseVirtualTree::OnColumnDblClick),
    EventProp("OnColumnResize", &TBaseVirtualTree::OnColumnResize),
    EventProp("OnCreateDataObject", &TBaseVirtualTree::OnCreateDataObject),
    EventProp("OnCreateDragManager", &TBaseVirtualTree::OnCreateDragManager),
    EventProp("OnDragOver", &TBaseVirtualTree::OnDragOver),
    EventProp("OnDragDrop", &TBaseVirtualTree::OnDragDrop),
    EventProp("OnGetCursor", &TBaseVirtualTree::OnGetCursor),
    EventProp("OnGetHeaderCursor", &TBaseVirtualTree::OnGetHeaderCursor),
    EventProp("OnGetImageIndex", &TBaseVirtualTree::OnGetImageIndex),
    EventProp("OnGetImageIndexEx", &TBaseVirtualTree::OnGetImageIndexEx),
    EventProp("OnGetLineStyle", &TBaseVirtualTree::OnGetLineStyle),
    EventProp("OnGetPopupMenu", &TBaseVirtualTree::OnGetPopupMenu),
    EventProp("OnGetUserClipboardFormats", &TBaseVirtualTree::OnGetUserClipboardFormats),
    EventProp("OnHeaderClick", &TBaseVirtualTree::OnHeaderClick),
    EventProp("OnHeaderDblClick", &TBaseVirtualTree::OnHeaderDblClick),
    EventProp("OnHeaderDragged", &TBaseVirtualTree::OnHeaderDragged),
    EventProp("OnHeaderDraggedOut", &TBaseVirtualTree::OnHeaderDraggedOut),
    EventProp("OnHeaderDragging", &TBaseVirtualTree::OnHeaderDragging),
    EventProp("OnHeaderDraw", &TBaseVirtualTree::OnHeaderDraw),
    EventProp("OnHeaderDrawQueryElements", &TBaseVirtualTree::OnHeaderDrawQueryElements),
    EventProp("OnHeaderMouseDown", &TBaseVirtualTree::OnHeaderMouseDown),
    EventProp("OnHeaderMouseMove", &TBaseVirtualTree::OnHeaderMouseMove),
    EventProp("OnHeaderMouseUp", &TBaseVirtualTree::OnHeaderMouseUp),
    EventProp("OnKeyAction", &TBaseVirtualTree::OnKeyAction),
    EventProp("OnPaintBackground", &TBaseVirtualTree::OnPaintBackground),
    EventProp("OnRenderOLEData", &TBaseVirtualTree::OnRenderOLEData),
    EventProp("OnShowScrollbar", &TBaseVirtualTree::OnShowScrollbar),
});

const TClassRegistrar<TCustomVirtualDrawTree, TBaseVirtualTree> kDrawTreeRegistrar("TCustomVirtualDrawTree", {
    EventProp("OnDrawNode", &TCustomVirtualDrawTree::OnDrawNode),
    EventProp("OnGetNodeWidth", &TCustomVirtualDrawTree::OnGetNodeWidth),
    EventProp("OnDrawHint", &TCustomVirtualDrawTree::OnDrawHint),
    EventProp("OnGetHintSize", &TCustomVirtualDrawTree::OnGetHintSize),
});

const TClassRegistrar<TVirtualDrawTree, TCustomVirtualDrawTree> kVirtualDrawTreeRegistrar("TVirtualDrawTree", {});

}  // namespace

void LinkTreeProperties() {
  LinkHeaderProperties();
  LinkStringTreeProperties();
}
