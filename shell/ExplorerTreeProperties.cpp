// Published properties of the explorer tree, its options and colours.
#include "shell/ExplorerTree.h"

#include "shell/ExplorerCombobox.h"
#include "shell/ExplorerListview.h"
#include "tree/TreeOptionNames.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kRootFolderNames{
    "rfAdminTools",       "rfAltStartup",     "rfAppData",         "rfBitBucket",        "rfCommonAdminTools",
    "rfCommonAltStartup", "rfCommonAppData",  "rfCommonDesktopDirectory", "rfCommonDocuments", "rfCommonFavorties",
    "rfCommonPrograms",   "rfCommonStartMenu", "rfCommonStartup",  "rfCommonTemplates",  "rfControlPanel",
    "rfCookies",          "rfDesktop",        "rfDesktopDirectory", "rfDrives",          "rfFavorites",
    "rfFonts",            "rfHistory",        "rfInternet",        "rfInternetCache",    "rfLocalAppData",
    "rfMyPictures",       "rfNetHood",        "rfNetwork",         "rfPersonal",         "rfPrinters",
    "rfPrintHood",        "rfProfile",        "rfProgramFiles",    "rfCommonProgramFiles", "rfPrograms",
    "rfRecent",           "rfSendTo",         "rfStartMenu",       "rfStartUp",          "rfSystem",
    "rfTemplate",         "rfWindows",        "rfCustom",          "rfCustomPIDL"};
const TEnumNames kFileObjectNames{"foFolders", "foNonFolders", "foHidden", "foShareable", "foNetworkPrinters"};
const TEnumNames kFileSortNames{"fsFileType", "fsFileExtension"};
const TEnumNames kFileSizeFormatNames{"fsfExplorer", "fsfActual", "fsfDiskUsage"};
const TEnumNames kColumnDetailTypeNames{"cdUser", "cdVETColumns", "cdShellColumns"};
const TEnumNames kColumnDetailsNames{"cdFileName", "cdSize",       "cdType", "cdModified", "cdAccessed",
                                     "cdCreated",  "cdAttributes", "cdPath", "cdDOSName",  "cdCustom"};
const TEnumNames kFolderOptionNames{"toFoldersExpandable",    "toHideRootFolder",       "toForceHideRecycleBin",
                                    "toForceShowMyDocuments", "toShowOpenIconOnSelect", "toDisableGhostedFolders",
                                    "toNoUseVETColorsProp",   "toThreadedExpandMark"};
const TEnumNames kShellOptionNames{"toRightAlignSizeColumn", "toContextMenus",    "toDragDrop",
                                   "toShellHints",           "toShellColumnMenu", "toFullRowContextMenuActivate"};
const TEnumNames kMiscOptionNames{
    "toBrowseExecuteFolder", "toBrowseExecuteFolderShortcut", "toBrowseExecuteZipFolder", "toChangeNotifierThread",
    "toListviewLimitBrowseToRoot", "toNoRebuildIconListOnAssocChange", "toTrackChangesInMappedDrives",
    "toPersistentColumns", "toExecuteOnDblClk", "toExecuteOnDblClkFullRow", "toRightButtonSelect",
    "toRemoveContextMenuShortCut", "toUserSort", "toAutoScrollHorz", "toVETReadOnly", "toRestoreTopNodeOnRefresh",
    "toPersistListviewColumnSort"};
const TEnumNames kImageOptionNames{"toHideOverlay", "toImages", "toThreadedImages", "toLargeImages",
                                   "toMarkCutAndCopy"};
const TEnumNames kSyncOptionNames{"toCollapseTargetFirst", "toExpandTarget", "toSelectTarget"};

// The tree's auto and selection options are declared again so that a form
// definition reaches the explorer's setters (no automatic sorting;
// multi-select trades the level constraint for the sibling one).
using TOpts = TCustomVirtualExplorerTreeOptions;
const TClassRegistrar<TOpts, TStringTreeOptions> kOptionsRegistrar(
    "TCustomVirtualExplorerTreeOptions",
    {
        SetOfProp("AutoOptions", static_cast<TVTAutoOptions (TOpts::*)() const>(&TOpts::AutoOptions),
                  &TOpts::SetAutoOptions, TreeAutoOptionNames()),
        SetOfProp("SelectionOptions", static_cast<TVTSelectionOptions (TOpts::*)() const>(&TOpts::SelectionOptions),
                  &TOpts::SetSelectionOptions, TreeSelectionOptionNames()),
        SetOfProp("VETFolderOptions", &TOpts::VETFolderOptions, &TOpts::SetVETFolderOptions, kFolderOptionNames),
        SetOfProp("VETImageOptions", &TOpts::VETImageOptions, &TOpts::SetVETImageOptions, kImageOptionNames),
        SetOfProp("VETMiscOptions", &TOpts::VETMiscOptions, &TOpts::SetVETMiscOptions, kMiscOptionNames),
        SetOfProp("VETShellOptions", &TOpts::VETShellOptions, &TOpts::SetVETShellOptions, kShellOptionNames),
        SetOfProp("VETSyncOptions", &TOpts::VETSyncOptions, &TOpts::SetVETSyncOptions, kSyncOptionNames),
    });
const TClassRegistrar<TVirtualExplorerTreeOptions, TOpts> kTreeOptionsRegistrar("TVirtualExplorerTreeOptions", {});

const TClassRegistrar<TVETColors, void> kColorsRegistrar(
    "TVETColors", {
                      ColorProp("CompressedTextColor", &TVETColors::CompressedTextColor,
                                &TVETColors::SetCompressedTextColor),
                      ColorProp("FolderTextColor", &TVETColors::FolderTextColor, &TVETColors::SetFolderTextColor),
                      ColorProp("FileTextColor", &TVETColors::FileTextColor, &TVETColors::SetFileTextColor),
                  });

const TClassRegistrar<TVETColumn, TVirtualTreeColumn> kColumnRegistrar(
    "TVETColumn", {
                      EnumProp("ColumnDetails", &TVETColumn::ColumnDetails, &TVETColumn::SetColumnDetails,
                               kColumnDetailsNames),
                  });

using TTree = TCustomVirtualExplorerTree;
const TClassRegistrar<TTree, TCustomVirtualStringTree> kTreeRegistrar(
    "TCustomVirtualExplorerTree",
    {
        EnumProp("RootFolder", &TTree::RootFolder, &TTree::SetRootFolder, kRootFolderNames),
        Prop("RootFolderCustomPath", &TTree::RootFolderCustomPath, &TTree::SetRootFolderCustomPath),
        SetOfProp("FileObjects", &TTree::FileObjects, &TTree::SetFileObjects, kFileObjectNames),
        EnumProp("FileSort", &TTree::FileSort, &TTree::SetFileSort, kFileSortNames),
        EnumProp("FileSizeFormat", &TTree::FileSizeFormat, &TTree::SetFileSizeFormat, kFileSizeFormatNames),
        EnumProp("ColumnDetails", &TTree::ColumnDetails, &TTree::SetColumnDetails, kColumnDetailTypeNames),
        Prop("ColumnMenuItemCount", &TTree::ColumnMenuItemCount, &TTree::SetColumnMenuItemCount),
        ObjectProp("VETColors", &TTree::VETColors),
        ComponentProp("ExplorerComboBox", &TTree::ExplorerComboBox, &TTree::SetExplorerComboBox),
        // Last, so that a form's other settings are in place when the tree is built.
        Prop("Active", &TTree::Active, &TTree::SetActive),
        EventProp("OnEnumFolder", &TTree::OnEnumFolder),
        EventProp("OnEnumFinished", &TTree::OnEnumFinished),
        EventProp("OnRootChanging", &TTree::OnRootChanging),
        EventProp("OnRootChange", &TTree::OnRootChange),
        EventProp("OnRootRebuild", &TTree::OnRootRebuild),
        EventProp("OnCustomNamespace", &TTree::OnCustomNamespace),
        EventProp("OnCustomColumnCompare", &TTree::OnCustomColumnCompare),
        EventProp("OnInvalidRootNamespace", &TTree::OnInvalidRootNamespace),
        EventProp("OnNamespaceStructureChange", &TTree::OnNamespaceStructureChange),
        EventProp("OnGetVETText", &TTree::OnGetVETText),
        EventProp("OnShellExecute", &TTree::OnShellExecute),
        EventProp("OnTreeDblClick", &TTree::OnTreeDblClick),
        EventProp("OnClipboardCopy", &TTree::OnClipboardCopy),
        EventProp("OnClipboardCut", &TTree::OnClipboardCut),
        EventProp("OnClipboardPaste", &TTree::OnClipboardPaste),
        EventProp("OnContextMenuShow", &TTree::OnContextMenuShow),
        EventProp("OnContextMenuCmd", &TTree::OnContextMenuCmd),
        EventProp("OnContextMenuAfterCmd", &TTree::OnContextMenuAfterCmd),
        EventProp("OnContextMenuItemChange", &TTree::OnContextMenuItemChange),
        EventProp("OnHeaderRebuild", &TTree::OnHeaderRebuild),
        EventProp("OnColumnUserChangedVisiblility", &TTree::OnColumnUserChangedVisiblility),
    });
const TClassRegistrar<TVirtualExplorerTree, TTree> kExplorerTreeRegistrar("TVirtualExplorerTree", {});
const TClassRegistrar<TVirtualExplorerViews, TTree> kViewsRegistrar("TVirtualExplorerViews", {});
const TClassRegistrar<TVirtualExplorerTreeview, TVirtualExplorerViews> kTreeviewRegistrar(
    "TVirtualExplorerTreeview", {
                                    ComponentProp("VirtualExplorerListview",
                                                  &TVirtualExplorerTreeview::VirtualExplorerListview,
                                                  &TVirtualExplorerTreeview::SetVirtualExplorerListview),
                                });
const TClassRegistrar<TVirtualExplorerListview, TVirtualExplorerViews> kListviewRegistrar(
    "TVirtualExplorerListview", {
                                    ComponentProp("VirtualExplorerTreeview",
                                                  &TVirtualExplorerListview::VirtualExplorerTreeview,
                                                  &TVirtualExplorerListview::SetVirtualExplorerTreeview),
                                    Prop("ThreadedEnum", &TTree::ThreadedEnum, &TTree::SetThreadedEnum),
                                    EventProp("OnEnumThreadLengthyOperation", &TTree::OnEnumThreadLengthyOperation),
                                });

}  // namespace

void LinkExplorerTreeProperties() {}
