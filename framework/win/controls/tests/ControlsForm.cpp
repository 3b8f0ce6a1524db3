#include "ControlsForm.h"

const char* const kControlsFormDefinition = R"qvf(
TControlsForm ControlsForm {
  Caption = "Wipe options";
  ClientWidth = 470;
  ClientHeight = 345;
  Position = poScreenCenter;
  BorderStyle = bsDialog;
  BorderIcons = [biSystemMenu];
  Color = clBtnFace;
  Font.Name = "Tahoma";
  Font.Height = -11;
  TPageControl Pages {
    Left = 8; Top = 8; Width = 454; Height = 290;
    ActivePage = GeneralSheet;
    TTabSheet GeneralSheet {
      Caption = "General";
      OnShow = SheetShow;
      TGroupBox OptionsGroup {
        Left = 8; Top = 6; Width = 210; Height = 105;
        Caption = "Options";
        TCheckBox QuickCheck {
          Left = 12; Top = 20; Width = 180; Height = 17;
          Caption = "&Quick format";
          TabOrder = 0;
          OnClick = CheckClick;
        }
        TRadioButton FilesRadio {
          Left = 12; Top = 44; Width = 180; Height = 17;
          Caption = "Wipe &files and folders";
          TabOrder = 1;
          OnClick = RadioClick;
          OnDblClick = RadioDblClick;
        }
        TRadioButton DiskRadio {
          Left = 12; Top = 66; Width = 180; Height = 17;
          Caption = "Wipe &disk";
          TabOrder = 2;
          OnClick = RadioClick;
          OnDblClick = RadioDblClick;
        }
      }
      TLabel AlgorithmLabel {
        Left = 232; Top = 8; Width = 60; Height = 13;
        Caption = "&Algorithm:";
        FocusControl = AlgorithmCombo;
      }
      TComboBox AlgorithmCombo {
        Left = 232; Top = 24; Width = 205; Height = 21;
        Style = csDropDownList;
        Items = ("Random data (1)", "Zeros (1)", "US DoD 5220.22-M (3)");
        OnChange = ComboChange;
      }
      TLabel PasswordLabel {
        Left = 232; Top = 54; Width = 60; Height = 13;
        Caption = "Password:";
      }
      TEdit PasswordEdit {
        Left = 232; Top = 70; Width = 120; Height = 21;
        PasswordChar = "*";
        MaxLength = 8;
        OnChange = EditChange;
      }
      TEdit DelayEdit {
        Left = 360; Top = 70; Width = 60; Height = 21;
        Text = "1";
        NumbersOnly = True;
      }
      TUpDown DelayUpDown {
        Left = 420; Top = 70; Width = 17; Height = 21;
        Associate = DelayEdit;
        Min = 0; Max = 20; Position = 1;
        Thousands = False;
      }
      TBevel Separator {
        Left = 8; Top = 120; Width = 430; Height = 2;
        Shape = bsTopLine;
      }
      TLabel LogLabel {
        Left = 8; Top = 128; Width = 60; Height = 13;
        Caption = "Progress log:";
      }
      TMemo LogMemo {
        Left = 8; Top = 144; Width = 300; Height = 78;
        ReadOnly = True;
        ScrollBars = ssVertical;
        Lines = ("Wiping C:\\Data\\report.doc", "Pass 1 of 3 done");
      }
      TImage Picture {
        Left = 320; Top = 144; Width = 118; Height = 78;
        Stretch = True;
      }
      TProgressBar Progress {
        Left = 8; Top = 230; Width = 300; Height = 17;
        Min = 0; Max = 100; Position = 60;
        Smooth = True;
      }
      TLabel WebLabel {
        Left = 320; Top = 232; Width = 100; Height = 13;
        Caption = "www.example.org";
        Font.Color = clBlue;
        Cursor = crHandPoint;
        HotTrack = True;
      }
    }
    TTabSheet ListSheet {
      Caption = "Drives";
      OnShow = SheetShow;
      TListView DriveList {
        Left = 8; Top = 8; Width = 430; Height = 160;
        ViewStyle = vsReport;
        RowSelect = True;
        ReadOnly = True;
        HideSelection = False;
        ColumnClick = False;
        Columns = <
          item { Caption = "Drive"; Width = 90; }
          item { Caption = "Type"; Width = 90; }
          item { Caption = "Total Space"; Width = 100; Alignment = taRightJustify; }
          item { Caption = "Status"; Width = 80; }
        >;
        PopupMenu = ListMenu;
        OnChange = ListChange;
        OnClick = ListClick;
        OnDblClick = ListDblClick;
      }
      TListBox FileList {
        Left = 8; Top = 176; Width = 430; Height = 70;
        Items = ("C:\\Data\\report.doc", "C:\\Data\\notes.txt");
        OnClick = ListBoxClick;
      }
    }
    TTabSheet HiddenSheet {
      Caption = "Expert";
      TabVisible = False;
      OnShow = SheetShow;
    }
  }
  TButton OkButton {
    Left = 306; Top = 310; Width = 75; Height = 25;
    Caption = "OK";
    Default = True;
    ModalResult = mrOk;
    OnClick = ButtonClick;
  }
  TButton CancelButton {
    Left = 387; Top = 310; Width = 75; Height = 25;
    Caption = "Cancel";
    Cancel = True;
    ModalResult = mrCancel;
  }
  TPanel StatusPanel {
    Left = 8; Top = 310; Width = 200; Height = 25;
    BevelOuter = bvLowered;
    Caption = "Idle";
  }
  TPopupMenu ListMenu {
    TMenuItem RefreshItem {
      Caption = "&Refresh";
      ShortCut = "F5";
      OnClick = MenuClick;
    }
    TMenuItem MenuSeparator { Caption = "-"; }
    TMenuItem PropertiesItem {
      Caption = "&Properties";
      Enabled = False;
      OnClick = MenuClick;
    }
  }
  TImageList DriveImages {
    Width = 16; Height = 16;
  }
}
)qvf";
