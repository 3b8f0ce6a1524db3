// The engine library and what is handed to it: loading Quorvanell.DLL, the
// parameter and format blocks, and the checks a run passes before it starts.
#include "WipeDLL.h"

#include <algorithm>
#include <string_view>

#include "Drives.h"
#include "QuorvanellBlockPaths.h"
#include "Language.h"
#include "MiscTexts.h"
#include "MainForm.h"
#include "Utils.h"
#include "WipeAlgTypes.h"
#include "win/controls/StdCtrls.h"

namespace {

struct TLoadedEngine {
  bool tried = false;
  std::string failureText;    // the reason as it read when the program started ("" before)
  TWipeEngine engine;
  std::string error;
};

// The exported function name of module as T; null when absent.
template <class T>
T Proc(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

TLoadedEngine& Loaded() {
  static TLoadedEngine loaded;
  return loaded;
}

}  // namespace

const TWipeEngine* WipeEngineOverride = nullptr;

bool LoadWipeEngine(TWipeEngine& engine, std::string& error) {
  if (WipeEngineOverride != nullptr) {
    engine = *WipeEngineOverride;
    error.clear();
    return true;
  }
  TLoadedEngine& loaded = Loaded();
  if (!loaded.tried) {
    loaded.tried = true;
    std::u16string path;
    StringToWideString(GetApplicationPath() + "Quorvanell.DLL", 0, path);
    // Loaded once for the rest of the run: a finished drive task's thread may
    // still be on its way out of the library. The process's error mode is left
    // as it is: it is shared with every thread, and one touching an empty drive
    // meanwhile must raise no system box. A library that cannot be loaded is
    // reported by the text below.
    HMODULE module = LoadLibraryW(reinterpret_cast<const wchar_t*>(path.c_str()));
    if (module != nullptr) {
      loaded.engine.FileWipe = Proc<TFileWipeProc>(module, "FileWipe");
      loaded.engine.FileWipeListed = Proc<TFileWipeListedProc>(module, "FileWipeListed");
      loaded.engine.DriveWipeStart = Proc<TDriveWipeStartProc>(module, "DriveWipeStart");
      loaded.engine.DriveCleanFreeSpace = Proc<TDriveCleanFreeSpaceProc>(module, "DriveCleanFreeSpace");
    }
    // An engine that cannot wipe within what the confirm step listed wipes no files.
    if (loaded.engine.FileWipeListed == nullptr) loaded.engine.FileWipe = nullptr;
    if (module == nullptr || loaded.engine.DriveWipeStart == nullptr || loaded.engine.DriveCleanFreeSpace == nullptr) {
      loaded.engine = TWipeEngine{};
      loaded.error = !loaded.failureText.empty() ? loaded.failureText : MiscText("strEngineNotLoaded");
    }
  }
  engine = loaded.engine;
  error = loaded.error;
  return loaded.error.empty();
}

void PrepareWipeEngine() {
  TLoadedEngine& loaded = Loaded();
  if (loaded.tried || !loaded.failureText.empty()) return;
  loaded.failureText = MiscText("strEngineNotLoaded");
}

bool WipeEngineLoaded() { return Loaded().tried; }

void FillPasses(TWipeParams& block, const TWipePattern* pattern) {
  block.PassCount = 0;
  if (pattern == nullptr || pattern->Passes == nullptr) return;
  const int count = std::min(pattern->Passes->Count(), kMaxPasses);
  for (int i = 0; i < count; ++i) {
    const TWipePass* pass = pattern->Passes->Items(i);
    block.Passes[i][0] = pass->Fill;
    for (int k = 0; k < 3; ++k) block.Passes[i][1 + k] = pass->Sequence[k];
  }
  block.PassCount = count;
}

bool FitsBlockText(const std::u16string& text) {
  // A text holding a terminator would reach the engine cut short: a cut path
  // can name the folder holding what was chosen.
  return text.find(u'\0') == std::u16string::npos && text.size() <= kMaxBlockText;
}

bool CopyBlockText(char16_t (&field)[kBlockTextChars], const std::u16string& text) {
  if (!FitsBlockText(text)) return false;
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy(text.begin(), text.end(), field);
  return true;
}

bool CopyBlockPaths(TWipeParams& block, const std::u16string& path, const std::u16string& next) {
  if (!FitsBlockText(path)) return false;
  // A next path holding a terminator would be read as a shorter one: none is named then.
  const bool named = FitsBlockText(next);
  return WriteBlockPaths(block, path.data(), path.size(), named ? next.data() : nullptr, named ? next.size() : 0);
}

bool FillFormatParams(TFormatParams& block, TMainForm* form, std::string& error) {
  block = TFormatParams{};
  block.Drive = form->DriveLetter;
  block.Wnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(form->Handle()));
  block.ClusterIndex = form->Item<TComboBox>("FormatComboBoxAllocUnits")->ItemIndex();
  block.QuickFormat = form->Item<TCheckBox>("FormatCheckBoxOptionQuick")->Checked() ? 1 : 0;
  block.Compression = form->Item<TCheckBox>("FormatCheckBoxOptionCopression")->Checked() ? 1 : 0;
  const std::string fileSystem = form->Item<TComboBox>("FormatComboBoxFileSystem")->Text();
  const std::string label = form->Item<TControl>("FormatEditVolumeLabel")->Caption();
  std::u16string wide;
  StringToWideString(fileSystem, 0, wide);
  const bool fileSystemFits = CopyBlockText(block.FileSystem, wide);
  StringToWideString(label, 0, wide);
  const bool fat = fileSystem == "FAT" || fileSystem == "FAT32";
  if (!fileSystemFits || !CopyBlockText(block.VolumeLabel, wide) || (fat && !FitsFatLabel(label))) {
    error = MiscText("strLabelDoesNotFit");
    return false;
  }
  return true;
}

std::string PatternRefusal(const TWipePattern* pattern) {
  if (pattern == nullptr || pattern->Passes == nullptr) return MiscText("strNoAlgorithm");
  if (pattern->Passes->Count() == 0) return MiscText("strNoPasses");
  if (pattern->Passes->Count() > kMaxPasses)
    return MiscText("strTooManyPasses");
  return "";
}

std::string DiskWipeRefusal(char drive) {
  if (drive >= 'a' && drive <= 'z') drive = static_cast<char>(drive - 'a' + 'A');
  if (drive < 'A' || drive > 'Z') return MiscText("strNoDrive");
  if (drive == SystemDriveLetter())
    return MiscText("strSystemDriveRefused");
  if (drive == ProgramDriveLetter())
    return MiscText("strProgramDriveRefused");
  return "";
}

std::string FinalLogLine(const std::string& successText, int32_t failedCount) {
  if (failedCount == 0) return successText;
  return MiscText("strItemsNotWiped") + " " + std::to_string(failedCount);
}
