#pragma once
// The user's preferences, kept in the registry under the current user at
// "\Software\Halverstrand\Quorvanell\1.0" with the subkeys "\Global" and
// "\Wipe". They are read once at start (LoadSettings) into the globals below
// and written back once at exit (SaveSettings); nothing else touches the
// registry for them. The unit also holds the wizard's own globals, which are
// not persisted.
#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kSettingsBaseKey = "\\Software\\Halverstrand\\Quorvanell\\1.0";
inline constexpr const char* kSettingsGlobalKey = "\\Global";
inline constexpr const char* kSettingsWipeKey = "\\Wipe";

// The longest text a setting is read with, in bytes of its stored data: far
// above any file name; a longer value reads as the default.
inline constexpr int64_t kMaxSettingTextBytes = 32 * 1024;

// The splash delay in seconds that the program can use: below 1 the splash
// would never close, above the maximum its millisecond interval overflows.
// Any value in between is kept as the user stored it.
inline constexpr int32_t kSplashDelayMin = 1;
inline constexpr int32_t kSplashDelayMax = INT32_MAX / 1000;

// Persisted settings (the registry value names are the names of the globals).
extern int32_t GlobalLastTip;          // carried through unchanged; default 0
extern bool GlobalFirstStart;          // default true
extern std::string GlobalLanguage;     // language file name ("German.lng"); empty: built-in English
extern bool GlobalSplashShow;          // default true
extern int32_t GlobalSplashDelay;      // seconds, within kSplashDelayMin..Max after LoadSettings; default 1
extern bool ConfirmationsShutdown;     // default true
extern int32_t OptionsRetryCount;      // carried through unchanged; default 1
extern int32_t OptionsSectorsToRead;   // carried through unchanged; default 5000
extern bool OptionsAdvancedMode;       // carried through unchanged; default false

// Wizard globals (not persisted).
extern uint8_t Task;                   // 0 none, 1 files and folders, 2 whole disk, 3 free space
extern int Step;                       // current step of the task, 1-based; step 1 is the welcome page
extern std::string SelectedPatternCode;  // code of the chosen wipe pattern; initially "RANDOM"
// PageTable[Task][i]: page index of step i + 1, or -1 when the task has no such step.
extern const int PageTable[4][10];

// The delay clamped to kSplashDelayMin..kSplashDelayMax seconds (0 would keep
// the splash up for ever, larger values overflow a millisecond interval).
int32_t ClampSplashDelay(int32_t seconds);
// True for a language file name that stays inside the program folder: no
// separator, drive or ".." (the empty name, built-in English, is one too).
// LoadSettings takes any other stored name as the default.
bool IsLanguageFileName(const std::string& name);

// The REG_DWORD value name under base key + subkey, or def when the key or
// value is missing, of another type, or unreadable. Opens the key for
// writing, creating it when missing, and only when that fails read-only.
int32_t ReadRegInteger(const std::string& subkey, const std::string& name, int32_t def);
// The same read as an integer, non-zero meaning true; def on any failure.
bool ReadRegBool(const std::string& subkey, const std::string& name, bool def);
// value := the REG_SZ / REG_EXPAND_SZ text (up to its first NUL; no data reads
// as ""), or def when the value is missing, of another type, unreadable or
// longer than kMaxSettingTextBytes.
void ReadRegString(const std::string& subkey, const std::string& name, const std::string& def,
                   std::string& value);

// Reads all nine settings (each falls back to its own default alone).
void LoadSettings();
// Writes all nine settings, creating the keys. A value that cannot be written
// does not stop the others; returns false when any key or value failed, with
// the names of the values not written added to notKept. Never raises.
bool SaveSettings(std::vector<std::string>* notKept = nullptr);
// Tells the user which settings the save at exit could not keep (value
// names); the default shows a box that waits for the user, also when the
// program's quit message is still pending. Tests put a recording one in its
// place.
using TSettingsNotKeptReport = void (*)(const std::vector<std::string>& names);
extern TSettingsNotKeptReport ReportSettingsNotKept;
void ReportSettingsNotKeptInABox(const std::vector<std::string>& names);

// The unit's start-up (LoadSettings) and shut-down (SaveSettings, telling the
// user through ReportSettingsNotKept what could not be kept).
void InitializeSettings();
void FinalizeSettings();
