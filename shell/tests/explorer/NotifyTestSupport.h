#pragma once
// Support of the change notification tests: message pumping, changes
// reported to the shell, commands run by another process.
#include <windows.h>

#include <functional>
#include <string>

namespace explorertest {

const wchar_t* W(const std::u16string& s);
// Handles the thread's messages for ms milliseconds.
void Pump(DWORD ms);
// Handles messages until done() holds or qvtest::kBusyMachineHeadroom times
// timeoutMs pass; true when it held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Tells the shell of a change (SHChangeNotify with paths; path2 may be empty).
void ReportChange(LONG eventCode, const std::u16string& path, const std::u16string& path2 = {});
// Makes a file at path (MakeFile) and tells the shell it came.
void MakeReportedFile(const std::u16string& path);
// Runs a command line in a new cmd.exe and waits for it; true when it ended with 0.
bool RunInOtherProcess(const std::u16string& command);

}  // namespace explorertest
