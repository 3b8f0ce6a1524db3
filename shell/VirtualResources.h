#pragma once
// The user-visible texts of the explorer components.
#include <array>
#include <string_view>

namespace res {

using namespace std::string_view_literals;

// Captions of the built-in columns 0 to 9.
inline constexpr std::array<std::u16string_view, 10> ColumnCaptions = {
    u"Name"sv, u"Size"sv, u"Type"sv, u"Modified"sv, u"Attributes"sv,
    u"Created"sv, u"Accessed"sv, u"Path"sv, u"DOS Name"sv, u"Custom"sv};

// Names of the shell change events, in the notifier's order.
inline constexpr std::array<std::u16string_view, 20> NotifyEventNames = {
    u"Assocciation Changed"sv, u"Attributes"sv, u"Item Create"sv, u"Item Delete"sv,
    u"Drive Add"sv, u"Drive Add GUI"sv, u"Drive Removed"sv, u"Free Space"sv,
    u"Media Inserted"sv, u"Media Removed"sv, u"Make Directory"sv, u"Network Share"sv,
    u"Network Unshare"sv, u"Folder Rename"sv, u"Item Rename"sv, u"Remove Directory"sv,
    u"Server Disconnect"sv, u"Update Directory"sv, u"Update Image"sv, u"Update Item"sv};

inline constexpr std::u16string_view Warning = u"Warning";
inline constexpr std::u16string_view Open = u"Open";
inline constexpr std::u16string_view ColumnSettings = u"Column settings";
inline constexpr std::u16string_view ColumnDlgInstructions =
    u"Check the columns you would like to make visible in this Folder.  Drag and Drop to reorder the columns. ";
inline constexpr std::u16string_view ColumnDlgWidthPrefix = u"The selected column should be ";
inline constexpr std::u16string_view ColumnDlgWidthSuffix = u"pixels wide";
inline constexpr std::u16string_view LiveUpdate = u"LiveUpdate";
inline constexpr std::u16string_view OK = u"OK";
inline constexpr std::u16string_view Cancel = u"Cancel";
inline constexpr std::u16string_view InvalidCustomPath = u"Invalid pathname for Custom Root Path";
inline constexpr std::u16string_view MoreColumns = u"More ...";
inline constexpr std::u16string_view InvalidPath = u"Invalid Path";
inline constexpr std::u16string_view CannotFindPrefix = u"Windows can not find \"";
inline constexpr std::u16string_view CannotFindSuffix = u"\" Please check the spelling and try again.";
inline constexpr std::u16string_view NewPrefix = u"New ";
inline constexpr std::u16string_view FolderText = u"Folder";
inline constexpr std::u16string_view ShortcutText = u"Shortcut";
inline constexpr std::u16string_view OverwriteFile = u"File exists.  Overwrite existing file?";
inline constexpr std::u16string_view Error = u"Error";
inline constexpr std::u16string_view KBFormat = u"%.0n KB";
inline constexpr std::u16string_view ZeroKB = u"0 KB";
inline constexpr std::u16string_view OneKB = u"1 KB";
inline constexpr std::u16string_view AttribArchive = u"A";
inline constexpr std::u16string_view AttribHidden = u"H";
inline constexpr std::u16string_view AttribReadOnly = u"R";
inline constexpr std::u16string_view AttribSystem = u"S";
inline constexpr std::u16string_view AttribCompressed = u"C";
inline constexpr std::u16string_view SystemFolder = u"System Folder";
inline constexpr std::u16string_view FileSuffix = u" File";
inline constexpr std::u16string_view UnknownCommand = u"Unknown Command";
inline constexpr std::u16string_view NotSiblings =
    u"PIDLs to operate on are not siblings of the Namespace doing the operation.";
inline constexpr std::u16string_view NewFolder = u"New Folder";
inline constexpr std::u16string_view LetterA = u"a";
inline constexpr std::u16string_view NoTargetApplication = u"No target application defined";
inline constexpr std::u16string_view VerbPrint = u"print";
inline constexpr std::u16string_view VerbProperties = u"properties";
inline constexpr std::u16string_view KernelNotifierRegistered = u"A KernelChangeNotifier is still registered with a Control";
inline constexpr std::u16string_view ShellThreadRegistered = u"A ShellChangeThread is still registered with a Control";
inline constexpr std::u16string_view DispatchThreadRegistered = u"ChangeDispatchThread is still registered";
inline constexpr std::u16string_view ControlNotRegistered =
    u"A control must be registered with the VirtualChangeNotifier using RegisterShellChangeNotify before this method may be used.";

}  // namespace res
