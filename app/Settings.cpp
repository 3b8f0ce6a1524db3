#include "Settings.h"

#include <algorithm>

#include <windows.h>

#include "MiscTexts.h"
#include "win/Registry.h"
#include "win/TextConvert.h"

int32_t GlobalLastTip = 0;
bool GlobalFirstStart = true;
std::string GlobalLanguage;
bool GlobalSplashShow = true;
int32_t GlobalSplashDelay = 1;
bool ConfirmationsShutdown = true;
int32_t OptionsRetryCount = 1;
int32_t OptionsSectorsToRead = 5000;
bool OptionsAdvancedMode = false;

uint8_t Task = 0;
int Step = 1;
std::string SelectedPatternCode = "RANDOM";
const int PageTable[4][10] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 2, 1, 3, 4, -1, -1, -1, -1, -1},
    {0, 5, 1, 6, 7, 8, -1, -1, -1, -1},
    {0, 5, 1, 9, -1, -1, -1, -1, -1, -1},
};

bool IsLanguageFileName(const std::string& name) {
  // A name inside the program folder: no folder part, drive or parent step.
  return name.find_first_of("\\/:") == std::string::npos && name.find("..") == std::string::npos;
}

int32_t ClampSplashDelay(int32_t seconds) { return std::clamp(seconds, kSplashDelayMin, kSplashDelayMax); }

namespace {

// Opens base key + subkey, creating it when it does not exist, so that the
// keys exist from the first start on even when the program never ends
// normally. A key that cannot be created or opened for writing is still read
// when it can be opened read-only; null when it cannot be opened at all.
TRegistry* OpenForReading(const std::string& subkey) {
  TRegistry* reg = New<TRegistry>(HKEY_CURRENT_USER);
  std::string key = std::string(kSettingsBaseKey) + subkey;
  if (reg->OpenKey(key, /*canCreate=*/true) || reg->OpenKeyReadOnly(key)) return reg;
  reg->Free();
  return nullptr;
}

}  // namespace

namespace {

// One subkey of the settings, opened once for all the values read from it.
// A value is looked at before it is read, so that one that is missing or of
// another type (the usual case until the first exit has saved them all)
// raises nothing: the first exception of a process costs milliseconds of
// start-up.
class TSettingsReader {
public:
  explicit TSettingsReader(const std::string& subkey) : reg(OpenForReading(subkey)) {}
  ~TSettingsReader() {
    if (reg != nullptr) reg->Free();
  }
  TSettingsReader(const TSettingsReader&) = delete;
  TSettingsReader& operator=(const TSettingsReader&) = delete;

  int32_t Integer(const std::string& name, int32_t def) const {
    if (reg == nullptr) return def;
    const std::u16string wide = AnsiToWide(name);
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(reg->CurrentKey(), reinterpret_cast<LPCWSTR>(wide.c_str()), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
      return def;
    if (type != REG_DWORD || size != sizeof(value)) return def;
    return static_cast<int32_t>(value);
  }

  void Text(const std::string& name, const std::string& def, std::string& value) const {
    value = def;
    if (reg == nullptr) return;
    const std::u16string wide = AnsiToWide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(reg->CurrentKey(), reinterpret_cast<LPCWSTR>(wide.c_str()), nullptr, &type, nullptr,
                         &size) != ERROR_SUCCESS)
      return;
    // A text this long is no setting of this program, and reading it could
    // take any amount of memory: the default stands.
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxSettingTextBytes) return;
    try {
      std::string text = reg->ReadString(name);
      // The stored text ends at its first NUL, as the system's own readers take it.
      size_t nul = text.find('\0');
      if (nul != std::string::npos) text.resize(nul);
      value = text;
    } catch (const Exception&) {
      // Changed by another program since it was looked at.
      value = def;
    }
  }

private:
  TRegistry* reg;  // owned; null when the key cannot be opened
};

}  // namespace

int32_t ReadRegInteger(const std::string& subkey, const std::string& name, int32_t def) {
  return TSettingsReader(subkey).Integer(name, def);
}

bool ReadRegBool(const std::string& subkey, const std::string& name, bool def) {
  return ReadRegInteger(subkey, name, def ? 1 : 0) != 0;
}

void ReadRegString(const std::string& subkey, const std::string& name, const std::string& def, std::string& value) {
  TSettingsReader(subkey).Text(name, def, value);
}

void LoadSettings() {
  {
    const TSettingsReader global(kSettingsGlobalKey);
    GlobalLastTip = global.Integer("GlobalLastTip", 0);
    GlobalFirstStart = global.Integer("GlobalFirstStart", 1) != 0;
    global.Text("GlobalLanguage", "", GlobalLanguage);
    if (!IsLanguageFileName(GlobalLanguage)) GlobalLanguage.clear();
    GlobalSplashShow = global.Integer("GlobalSplashShow", 1) != 0;
    GlobalSplashDelay = ClampSplashDelay(global.Integer("GlobalSplashDelay", 1));
    ConfirmationsShutdown = global.Integer("ConfirmationsShutdown", 1) != 0;
  }
  const TSettingsReader wipe(kSettingsWipeKey);
  OptionsRetryCount = wipe.Integer("OptionsRetryCount", 1);
  OptionsSectorsToRead = wipe.Integer("OptionsSectorsToRead", 5000);
  OptionsAdvancedMode = wipe.Integer("OptionsAdvancedMode", 0) != 0;
}

namespace {

// Runs one write; a registry error marks the save as failed and lets the
// following values be written all the same.
template <class F>
void TryWrite(bool& ok, std::vector<std::string>& notKept, const char* name, F write) {
  try {
    write();
  } catch (const Exception&) {
    ok = false;
    notKept.push_back(name);
  }
}

const char* const kGlobalValues[] = {"GlobalLastTip", "GlobalFirstStart", "GlobalLanguage",
                                     "GlobalSplashShow", "GlobalSplashDelay", "ConfirmationsShutdown"};
const char* const kWipeValues[] = {"OptionsRetryCount", "OptionsSectorsToRead", "OptionsAdvancedMode"};

}  // namespace

bool SaveSettings(std::vector<std::string>* notKeptOut) {
  bool ok = true;
  std::vector<std::string> notKept;
  TRegistry* reg = nullptr;
  try {
    reg = New<TRegistry>(HKEY_CURRENT_USER);
  } catch (const Exception&) {
    if (notKeptOut != nullptr) {
      notKeptOut->insert(notKeptOut->end(), std::begin(kGlobalValues), std::end(kGlobalValues));
      notKeptOut->insert(notKeptOut->end(), std::begin(kWipeValues), std::end(kWipeValues));
    }
    return false;
  }
  if (reg->OpenKey(std::string(kSettingsBaseKey) + kSettingsGlobalKey, /*canCreate=*/true)) {
    TryWrite(ok, notKept, "GlobalLastTip", [&] { reg->WriteInteger("GlobalLastTip", GlobalLastTip); });
    TryWrite(ok, notKept, "GlobalFirstStart", [&] { reg->WriteBool("GlobalFirstStart", GlobalFirstStart); });
    TryWrite(ok, notKept, "GlobalLanguage", [&] { reg->WriteString("GlobalLanguage", GlobalLanguage); });
    TryWrite(ok, notKept, "GlobalSplashShow", [&] { reg->WriteBool("GlobalSplashShow", GlobalSplashShow); });
    TryWrite(ok, notKept, "GlobalSplashDelay",
             [&] { reg->WriteInteger("GlobalSplashDelay", ClampSplashDelay(GlobalSplashDelay)); });
    TryWrite(ok, notKept, "ConfirmationsShutdown",
             [&] { reg->WriteBool("ConfirmationsShutdown", ConfirmationsShutdown); });
  } else {
    ok = false;
    notKept.insert(notKept.end(), std::begin(kGlobalValues), std::end(kGlobalValues));
  }
  reg->CloseKey();
  if (reg->OpenKey(std::string(kSettingsBaseKey) + kSettingsWipeKey, /*canCreate=*/true)) {
    TryWrite(ok, notKept, "OptionsRetryCount", [&] { reg->WriteInteger("OptionsRetryCount", OptionsRetryCount); });
    TryWrite(ok, notKept, "OptionsSectorsToRead",
             [&] { reg->WriteInteger("OptionsSectorsToRead", OptionsSectorsToRead); });
    TryWrite(ok, notKept, "OptionsAdvancedMode", [&] { reg->WriteBool("OptionsAdvancedMode", OptionsAdvancedMode); });
  } else {
    ok = false;
    notKept.insert(notKept.end(), std::begin(kWipeValues), std::end(kWipeValues));
  }
  reg->Free();
  if (notKeptOut != nullptr) notKeptOut->insert(notKeptOut->end(), notKept.begin(), notKept.end());
  return ok;
}

void ReportSettingsNotKeptInABox(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  // The last words of the program: every window is gone, the box has no owner.
  const std::string text = MiscText("strSettingsNotSaved") + "\n\n" + list;
  // The message loop ends when the main form is gone, before it takes the
  // quit message the form's close posted; a box would take it and close at
  // once, unseen. It is set aside while the box waits, then posted again.
  MSG quit{};
  const bool quitPending = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
  if (quitPending) PostQuitMessage(static_cast<int>(quit.wParam));
}

TSettingsNotKeptReport ReportSettingsNotKept = ReportSettingsNotKeptInABox;

void InitializeSettings() { LoadSettings(); }

void FinalizeSettings() {
  std::vector<std::string> notKept;
  if (!SaveSettings(&notKept) && ReportSettingsNotKept != nullptr) ReportSettingsNotKept(notKept);
}
