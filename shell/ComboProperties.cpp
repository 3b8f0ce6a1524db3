// Published properties of the path combo box and its drop-downs' settings.
#include "shell/ExplorerCombobox.h"
#include "win/ClassInfo.h"

namespace {

const TEnumNames kPopupOptionNames{"poAnimated",    "poEnabled",   "poPersistentSizing",
                                   "poSizeable",    "poRespectSysAnimationFlag", "poThemeAware"};
const TEnumNames kComboBoxStyleNames{"cbsClassic", "cbsVETEnhanced"};
const TEnumNames kContentNames{"accCurrentDir",   "accMyComputer",   "accDesktop", "accFavorites", "accFileSysOnly",
                               "accFileSysDirs",  "accFileSysFiles", "accHidden",  "accRecursive", "accSortList"};

using TView = TPopupOptionsView;
#define QV_POPUP_VIEW_PROPS                                                                         \
  Prop("AnimationSpeed", &TView::AnimationSpeed, &TView::SetAnimationSpeed),                        \
      Prop("AutoScrollTimeFast", &TView::AutoScrollTimeFast, &TView::SetAutoScrollTimeFast),        \
      Prop("AutoScrollTimeSlow", &TView::AutoScrollTimeSlow, &TView::SetAutoScrollTimeSlow),        \
      ObjectProp("Background", &TView::Background),                                                 \
      Prop("BackgroundOffsetX", &TView::BackgroundOffsetX, &TView::SetBackgroundOffsetX),           \
      Prop("BackgroundOffsetY", &TView::BackgroundOffsetY, &TView::SetBackgroundOffsetY),           \
      ColorProp("Color", &TView::Color, &TView::SetColor),                                          \
      Prop("DefaultNodeHeight", &TView::DefaultNodeHeight, &TView::SetDefaultNodeHeight),           \
      Prop("DropDownCount", &TView::DropDownCount, &TView::SetDropDownCount),                       \
      Prop("Indent", &TView::Indent, &TView::SetIndent),                                            \
      SetOfProp("Options", &TView::Options, &TView::SetOptions, kPopupOptionNames),                \
      EventProp("OnRollDown", &TView::OnRollDown, &TView::SetOnRollDown),                           \
      EventProp("OnRollUp", &TView::OnRollUp, &TView::SetOnRollUp)

const TClassRegistrar<TPopupExplorerOptions, void> kExplorerOptionsRegistrar(
    "TPopupExplorerOptions",
    {
        QV_POPUP_VIEW_PROPS,
        EnumProp("ComboBoxStyle", &TPopupExplorerOptions::ComboBoxStyle, &TPopupExplorerOptions::SetComboBoxStyle,
                 kComboBoxStyleNames),
        EventProp("OnEnumFolder", &TPopupExplorerOptions::OnEnumFolder, &TPopupExplorerOptions::SetOnEnumFolder),
    });

const TClassRegistrar<TPopupAutoCompleteOptions, void> kAutoCompleteOptionsRegistrar(
    "TPopupAutoCompleteOptions",
    {
        QV_POPUP_VIEW_PROPS,
        SetOfProp("Contents", &TPopupAutoCompleteOptions::Contents, &TPopupAutoCompleteOptions::SetContents,
                  kContentNames),
        Prop("AlwaysShow", &TPopupAutoCompleteOptions::AlwaysShow, &TPopupAutoCompleteOptions::SetAlwaysShow),
        EventProp("OnAutoCompleteUpdateList", &TPopupAutoCompleteOptions::OnAutoCompleteUpdateList,
                  &TPopupAutoCompleteOptions::SetOnAutoCompleteUpdateList),
    });
#undef QV_POPUP_VIEW_PROPS

using TCombo = TCustomVirtualExplorerCombobox;
const TClassRegistrar<TCombo, TCustomControl> kComboRegistrar(
    "TCustomVirtualExplorerCombobox",
    {
        ObjectProp("PopupAutoCompleteOptions", &TCombo::PopupAutoCompleteOptions),
        ObjectProp("PopupExplorerOptions", &TCombo::PopupExplorerOptions),
        Prop("TextStyle", &TCombo::TextStyle, &TCombo::SetTextStyle),
        EventProp("OnInvalidPath", &TCombo::OnInvalidPath),
        EventProp("OnPathChange", &TCombo::OnPathChange),
    });
const TClassRegistrar<TVirtualExplorerCombobox, TCombo> kVirtualComboRegistrar("TVirtualExplorerCombobox", {});

}  // namespace

void LinkExplorerComboboxProperties() {}
