#include "EngineHarness.h"

#include <atomic>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QuorvanellEngine.h"

namespace qv::engine::test {
namespace {

const wchar_t kClassName[] = L"QuorvanellEngineTestWindow";

}  // namespace

Block::Block(HWND wnd, char drive, const std::vector<PassBytes>& passes, const std::u16string& path) {
  params_ = static_cast<TWipeParams*>(LocalAlloc(LPTR, sizeof(TWipeParams)));
  params_->Active = 1;
  params_->Wnd = uint32_t(reinterpret_cast<uintptr_t>(wnd));
  params_->Drive = drive;
  params_->PassCount = int32_t(passes.size());
  for (size_t i = 0; i < passes.size() && i < size_t(kMaxPasses); ++i) {
    std::memcpy(params_->Passes[i], passes[i].data(), 4);
  }
  size_t n = path.size() < size_t(kBlockTextChars - 1) ? path.size() : size_t(kBlockTextChars - 1);
  std::memcpy(params_->Path, path.data(), n * sizeof(char16_t));
}

Block::~Block() { LocalFree(params_); }

Harness::Harness() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &Harness::WndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassW(&wc);
  wnd_ = CreateWindowW(kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Harness::~Harness() {
  Pump();
  DestroyWindow(wnd_);
}

LRESULT CALLBACK Harness::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Harness*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (!self || msg < WM_WIPE_LOG || msg > WM_WIPE_CANCELLED) return DefWindowProcW(wnd, msg, wParam, lParam);
  switch (msg) {
    case WM_WIPE_LOG: {
      auto* text = reinterpret_cast<char16_t*>(wParam);
      self->logs.emplace_back(text);
      LocalFree(text);
      return 0;
    }
    case WM_WIPE_PROGRESS: {
      ProgressEvent event{wParam, lParam, 0, 0, 0, {}};
      if (self->current) {
        event.total = self->current->Total;
        event.progress = self->current->Progress;
        event.state = self->current->State;
      }
      if (wParam && lParam == 1 && self->current && self->current->Path[0] != 0) {
        event.path = reinterpret_cast<const char16_t*>(wParam);
      }
      self->progress.push_back(event);
      if (self->onProgress) self->onProgress(event);
      return 0;
    }
    case WM_WIPE_DONE:
      ++self->done;
      if ((lParam & kWipeFormatFailed) && wParam != 0) {
        self->formatFailure = reinterpret_cast<const char16_t*>(wParam);
        LocalFree(reinterpret_cast<HLOCAL>(wParam));
      }
      self->endTick = GetTickCount();
      return 0;
    case WM_WIPE_CANCELLED:
      ++self->cancelled;
      self->endTick = GetTickCount();
      return 0;
  }
  return 0;
}

size_t Harness::FinishedWiped() const {
  size_t n = 0;
  for (const ProgressEvent& e : progress) n += (e.state == 0 && e.progress == 100) ? 1 : 0;
  return n;
}

void Harness::Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

bool Harness::RunDrive(TWipeParams* block, const std::function<void()>& start, DWORD timeoutMs) {
  current = block;
  DWORD begin = GetTickCount();
  start();
  while (done + cancelled == 0) {
    if (GetTickCount() - begin > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
  Pump();
  return true;
}

bool Harness::RunInProcess(const std::function<void()>& work, DWORD timeoutMs) {
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    work();
    finished = true;
    PostMessageW(wnd_, WM_NULL, 0, 0);
  });
  DWORD begin = GetTickCount();
  while (!finished) {
    if (GetTickCount() - begin > timeoutMs) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Pump();
  }
  worker.join();  // a worker past its time still has to end before its frame goes
  Pump();
  return GetTickCount() - begin <= timeoutMs;
}

bool Harness::RunFile(TWipeParams* block, DWORD timeoutMs, HANDLE (*start)(void*)) {
  current = block;
  HANDLE handle = start ? start(block) : FileWipe(block);
  if (!handle) return false;
  DWORD begin = GetTickCount();
  bool ended = false;
  while (!ended) {
    if (GetTickCount() - begin > timeoutMs) break;
    DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, 50, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) ended = true;
    Pump();
  }
  endTick = GetTickCount();
  CloseHandle(handle);
  Pump();
  return ended;
}

bool Harness::Logged(const std::u16string& text) const {
  for (const std::u16string& line : logs) {
    if (line.find(text) != std::u16string::npos) return true;
  }
  return false;
}

std::string Harness::LogText() const {
  std::string text;
  for (const std::u16string& line : logs) text += "  " + Narrow(line) + "\n";
  return text;
}

void StopAtFirstProgress(Harness& harness) {
  harness.onProgress = [&harness](const ProgressEvent&) {
    if (harness.current && harness.current->Active != 0) {
      harness.current->Active = 0;
      harness.stopTick = GetTickCount();
    }
  };
}

char TestDrive(const char* name) {
  std::string variable = std::string("QV_TEST_") + name;
  const char* value = std::getenv(variable.c_str());
  if (!value || !value[0]) return 0;
  char c = value[0];
  // C: is the prefix and Z: the host's root: never a test drive.
  if (c == 'C' || c == 'Z') return 0;
  return (c >= 'A' && c <= 'Z') ? c : 0;
}

std::u16string Root(char drive) { return std::u16string(1, char16_t(drive)) + u":\\"; }

std::u16string Utf16(const std::string& text) {
  std::u16string wide;
  for (char c : text) wide.push_back(char16_t(static_cast<unsigned char>(c)));
  return wide;
}

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? char(c) : '?');
  return narrow;
}

static const wchar_t* Wp(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

bool WriteWholeFile(const std::u16string& path, const std::string& content) {
  HANDLE file = CreateFileW(Wp(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr) && written == content.size();
  ok = FlushFileBuffers(file) && ok;
  CloseHandle(file);
  return ok;
}

bool ReadWholeFile(const std::u16string& path, std::string& content) {
  HANDLE file = CreateFileW(Wp(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  GetFileSizeEx(file, &size);
  content.assign(size_t(size.QuadPart), '\0');
  DWORD read = 0;
  bool ok = content.empty() || (ReadFile(file, content.data(), DWORD(content.size()), &read, nullptr) &&
                                read == content.size());
  CloseHandle(file);
  return ok;
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(Wp(path)) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::u16string> ListNames(const std::u16string& folder) {
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW data;
  std::u16string pattern = folder + (folder.back() == u'\\' ? u"*" : u"\\*");
  HANDLE find = FindFirstFileW(Wp(pattern), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::u16string name = reinterpret_cast<const char16_t*>(data.cFileName);
    if (name != u"." && name != u"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

namespace {

bool AddContents(const std::u16string& top, const std::u16string& relative,
                 std::map<std::u16string, std::string>& out) {
  bool read = true;
  for (const std::u16string& name : ListNames(top + relative)) {
    std::u16string path = relative + u"\\" + name;
    DWORD attributes = GetFileAttributesW(Wp(top + path));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      out[path + u"\\"] = "";
      read = AddContents(top, path, out) && read;
    } else {
      std::string content;
      read = ReadWholeFile(top + path, content) && read;
      out[path] = content;
    }
  }
  return read;
}

}  // namespace

bool FolderContents(const std::u16string& top, std::map<std::u16string, std::string>& out) {
  return AddContents(top, u"", out);
}

uint64_t FreeBytes(const std::u16string& root) {
  ULARGE_INTEGER available = {}, total = {}, free = {};
  if (!GetDiskFreeSpaceExW(Wp(root), &available, &total, &free)) return 0;
  return free.QuadPart;
}

bool ReadVolume(char drive, std::vector<uint8_t>& bytes) {
  wchar_t path[] = L"\\\\.\\X:";
  path[4] = wchar_t(drive);
  HANDLE volume = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(volume, &size) && size.QuadPart > 0;
  if (ok) {
    bytes.assign(size_t(size.QuadPart), 0);
    size_t done = 0;
    while (ok && done < bytes.size()) {
      DWORD want = DWORD(bytes.size() - done < (1u << 24) ? bytes.size() - done : (1u << 24));
      DWORD read = 0;
      ok = ReadFile(volume, bytes.data() + done, want, &read, nullptr) && read > 0;
      done += read;
    }
  }
  CloseHandle(volume);
  return ok;
}

size_t CountOccurrences(const std::vector<uint8_t>& hay, const std::string& needle) {
  size_t count = 0;
  if (needle.empty() || hay.size() < needle.size()) return 0;
  const uint8_t* begin = hay.data();
  const uint8_t* end = hay.data() + hay.size() - needle.size() + 1;
  for (const uint8_t* p = begin; p < end; ++p) {
    p = static_cast<const uint8_t*>(std::memchr(p, needle[0], size_t(end - p)));
    if (!p) break;
    if (std::memcmp(p, needle.data(), needle.size()) == 0) ++count;
  }
  return count;
}

// Hands one request to the script's swapper and waits until it is carried out.
bool AskHost(char drive, const std::string& request) {
  std::u16string folder = Root(drive) + u".swapper";
  if (!Exists(folder)) return false;
  DeleteFileW(Wp(folder + u"\\done"));
  if (!WriteWholeFile(folder + u"\\request.tmp", request)) return false;
  if (!MoveFileExW(Wp(folder + u"\\request.tmp"), Wp(folder + u"\\request"), 0)) return false;
  for (int i = 0; i < 250; ++i) {
    if (Exists(folder + u"\\done")) return DeleteFileW(Wp(folder + u"\\done")) != FALSE;
    Sleep(20);
  }
  return false;
}

}  // namespace qv::engine::test
