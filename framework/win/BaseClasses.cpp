// Published properties of the control base and the forms.
#include "win/ClassInfo.h"
#include "win/Controls.h"
#include "win/Forms.h"
#include "win/graphics/Graphics.h"

namespace {

const TEnumNames kAlignNames{"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"};
const TEnumNames kAnchorNames{"akLeft", "akTop", "akRight", "akBottom"};
const TEnumNames kBiDiNames{"bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly"};
const TEnumNames kHelpTypeNames{"htKeyword", "htContext"};
const TEnumNames kBorderStyleNames{"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"};
const TEnumNames kBorderIconNames{"biSystemMenu", "biMinimize", "biMaximize", "biHelp"};
const TEnumNames kPositionNames{"poDesigned",      "poDefault",        "poDefaultPosOnly",  "poDefaultSizeOnly",
                                "poScreenCenter",  "poDesktopCenter",  "poMainFormCenter", "poOwnerFormCenter"};
const TEnumNames kFormStyleNames{"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"};
const TEnumNames kBevelCutNames{"bvNone", "bvLowered", "bvRaised", "bvSpace"};
const TEnumNames kBevelKindNames{"bkNone", "bkTile", "bkSoft", "bkFlat"};
const TEnumNames kBevelEdgeNames{"beLeft", "beTop", "beRight", "beBottom"};
const TEnumNames kDragModeNames{"dmManual", "dmAutomatic"};
const TEnumNames kDragKindNames{"dkDrag", "dkDock"};
const TEnumNames kWindowStateNames{"wsNormal", "wsMinimized", "wsMaximized"};

void AddControlChild(TComponent* parent, TComponent* child) {
  auto* container = dynamic_cast<TWinControl*>(parent);
  auto* control = dynamic_cast<TControl*>(child);
  if (container != nullptr && control != nullptr) control->SetParent(container);
}

const TClassRegistrar<TComponent, void> kComponent("TComponent", {
    Prop("Tag", &TComponent::Tag, &TComponent::SetTag),
});

const TClassRegistrar<TControl, TComponent> kControl("TControl", {
    Prop("Left", &TControl::Left, &TControl::SetLeft),
    Prop("Top", &TControl::Top, &TControl::SetTop),
    Prop("Width", &TControl::Width, &TControl::SetWidth),
    Prop("Height", &TControl::Height, &TControl::SetHeight),
    EnumProp("Align", &TControl::Align, &TControl::SetAlign, kAlignNames),
    SetOfProp("Anchors", &TControl::Anchors, &TControl::SetAnchors, kAnchorNames),
    Prop("Visible", &TControl::Visible, &TControl::SetVisible),
    Prop("Enabled", &TControl::Enabled, &TControl::SetEnabled),
    Prop("Caption", &TControl::Caption, &TControl::SetCaption),
    ObjectProp("Font", &TControl::Font),
    Prop("ParentFont", &TControl::ParentFont, &TControl::SetParentFont),
    ColorProp("Color", &TControl::Color, &TControl::SetColor),
    Prop("ParentColor", &TControl::ParentColor, &TControl::SetParentColor),
    CursorProp("Cursor", &TControl::Cursor, &TControl::SetCursor),
    Prop("Hint", &TControl::Hint, &TControl::SetHint),
    Prop("ShowHint", &TControl::ShowHint, &TControl::SetShowHint),
    Prop("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint),
    Prop("HelpKeyword", &TControl::HelpKeyword, &TControl::SetHelpKeyword),
    Prop("HelpContext", &TControl::HelpContext, &TControl::SetHelpContext),
    EnumProp("HelpType", &TControl::HelpType, &TControl::SetHelpType, kHelpTypeNames),
    ComponentProp("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu),
    EnumProp("BiDiMode", &TControl::BiDiMode, &TControl::SetBiDiMode, kBiDiNames),
    Prop("ParentBiDiMode", &TControl::ParentBiDiMode, &TControl::SetParentBiDiMode),
    EventProp("OnClick", &TControl::OnClick),
    EventProp("OnDblClick", &TControl::OnDblClick),
    EventProp("OnMouseDown", &TControl::OnMouseDown),
    EventProp("OnMouseUp", &TControl::OnMouseUp),
    EventProp("OnMouseMove", &TControl::OnMouseMove),
    EventProp("OnMouseEnter", &TControl::OnMouseEnter),
    EventProp("OnMouseLeave", &TControl::OnMouseLeave),
    EventProp("OnResize", &TControl::OnResize),
    EventProp("OnContextPopup", &TControl::OnContextPopup),
    EnumProp("DragMode", &TControl::DragMode, &TControl::SetDragMode, kDragModeNames),
    EnumProp("DragKind", &TControl::DragKind, &TControl::SetDragKind, kDragKindNames),
}, nullptr, [](TComponent* child) -> TComponent* { return static_cast<TControl*>(child)->Parent(); });

const TClassRegistrar<TWinControl, TControl> kWinControl("TWinControl", {
    Prop("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop),
    Prop("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder),
    SetOfProp("BevelEdges", &TWinControl::BevelEdges, &TWinControl::SetBevelEdges, kBevelEdgeNames),
    EnumProp("BevelInner", &TWinControl::BevelInner, &TWinControl::SetBevelInner, kBevelCutNames),
    EnumProp("BevelOuter", &TWinControl::BevelOuter, &TWinControl::SetBevelOuter, kBevelCutNames),
    EnumProp("BevelKind", &TWinControl::BevelKind, &TWinControl::SetBevelKind, kBevelKindNames),
    Prop("BevelWidth", &TWinControl::BevelWidth, &TWinControl::SetBevelWidth),
    Prop("BorderWidth", &TWinControl::BorderWidth, &TWinControl::SetBorderWidth),
    Prop("Ctl3D", &TWinControl::Ctl3D, &TWinControl::SetCtl3D),
    EventProp("OnKeyDown", &TWinControl::OnKeyDown),
    EventProp("OnKeyUp", &TWinControl::OnKeyUp),
    EventProp("OnKeyPress", &TWinControl::OnKeyPress),
    EventProp("OnEnter", &TWinControl::OnEnter),
    EventProp("OnExit", &TWinControl::OnExit),
}, AddControlChild);

const TClassRegistrar<TGraphicControl, TControl> kGraphicControl("TGraphicControl", {});
const TClassRegistrar<TCustomControl, TWinControl> kCustomControl("TCustomControl", {});

const TClassRegistrar<TCustomForm, TWinControl> kCustomForm("TCustomForm", {
    Prop("ClientWidth", &TControl::ClientWidth, &TControl::SetClientWidth),
    Prop("ClientHeight", &TControl::ClientHeight, &TControl::SetClientHeight),
    EnumProp("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle, kBorderStyleNames),
    SetOfProp("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons, kBorderIconNames),
    EnumProp("Position", &TCustomForm::Position, &TCustomForm::SetPosition, kPositionNames),
    EnumProp("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle, kFormStyleNames),
    EnumProp("WindowState", &TCustomForm::WindowState, &TCustomForm::SetWindowState, kWindowStateNames),
    Prop("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview),
    ComponentProp("ActiveControl", &TCustomForm::ActiveControl, &TCustomForm::SetActiveControl),
    ComponentProp("Menu", &TCustomForm::Menu, &TCustomForm::SetMenu),
    Prop("PixelsPerInch", &TCustomForm::PixelsPerInch, &TCustomForm::SetPixelsPerInch),
    Prop("Scaled", &TCustomForm::Scaled, &TCustomForm::SetScaled),
    Prop("Icon", &TCustomForm::IconResource, &TCustomForm::SetIconResource),
    EventProp("OnCreate", &TCustomForm::OnCreate),
    EventProp("OnDestroy", &TCustomForm::OnDestroy),
    EventProp("OnShow", &TCustomForm::OnShow),
    EventProp("OnHide", &TCustomForm::OnHide),
    EventProp("OnActivate", &TCustomForm::OnActivate),
    EventProp("OnDeactivate", &TCustomForm::OnDeactivate),
    EventProp("OnClose", &TCustomForm::OnClose),
    EventProp("OnCloseQuery", &TCustomForm::OnCloseQuery),
});

const TClassRegistrar<TForm, TCustomForm> kForm("TForm", {});

}  // namespace
