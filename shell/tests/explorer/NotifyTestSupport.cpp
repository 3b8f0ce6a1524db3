#include "NotifyTestSupport.h"

#include <shlobj.h>

#include <algorithm>

#include "ExplorerTestSupport.h"
#include "win/testing/Harness.h"

namespace explorertest {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

namespace {

bool PumpFor(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeoutMs - elapsed), QS_ALLINPUT);
  }
}

}  // namespace

void Pump(DWORD ms) {
  PumpFor([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  return PumpFor(done, timeoutMs * qvtest::kBusyMachineHeadroom);
}

void ReportChange(LONG eventCode, const std::u16string& path, const std::u16string& path2) {
  SHChangeNotify(eventCode, SHCNF_PATHW, W(path), path2.empty() ? nullptr : W(path2));
}

void MakeReportedFile(const std::u16string& path) {
  MakeFile(path);
  ReportChange(SHCNE_CREATE, path);
}

bool RunInOtherProcess(const std::u16string& command) {
  std::u16string line = u"cmd.exe /c " + command;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, const_cast<wchar_t*>(W(line)), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi))
    return false;
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code == 0;
}

}  // namespace explorertest
