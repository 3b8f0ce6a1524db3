#pragma once
// Test side of the engine conversation: a window that collects the engine's
// messages, parameter blocks built as the program builds them, and the test
// drives that run-engine-tests.sh maps into the prefix.
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QuorvanellBlocks.h"

namespace qv::engine::test {

using PassBytes = std::array<uint8_t, 4>;

struct ProgressEvent {
  WPARAM wParam;
  LPARAM lParam;
  int64_t total;
  int32_t progress;
  int32_t state;
  std::u16string path;  // file task: the path the message points to
};

// A zero-filled parameter block in LocalAlloc'ed memory, as the program makes it.
class Block {
 public:
  Block(HWND wnd, char drive, const std::vector<PassBytes>& passes, const std::u16string& path = u"");
  ~Block();
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  TWipeParams* get() const { return params_; }
  TWipeParams* operator->() const { return params_; }

 private:
  TWipeParams* params_;
};

class Harness {
 public:
  Harness();
  ~Harness();

  HWND wnd() const { return wnd_; }
  // Called for each progress message, after it is recorded (the program's
  // progress handler is where a stop request reaches the block).
  std::function<void(const ProgressEvent&)> onProgress;

  // Runs a drive task (already started by `start`) until its done or
  // cancelled message, at most `timeoutMs`; false on time-out.
  bool RunDrive(TWipeParams* block, const std::function<void()>& start, DWORD timeoutMs = 120000);
  // Runs engine parts directly (not through the library) on a thread of
  // their own, handling the messages they send until they return.
  bool RunInProcess(const std::function<void()>& work, DWORD timeoutMs = 120000);
  // Calls FileWipe for the block and waits on its handle while pumping, then
  // takes the messages still queued. False when no handle came back or on time-out.
  // `start` stands for FileWipe (the same code in this process, whose
  // replaceable calls tests can set).
  bool RunFile(TWipeParams* block, DWORD timeoutMs = 120000, HANDLE (*start)(void*) = nullptr);

  std::vector<std::u16string> logs;
  std::vector<ProgressEvent> progress;
  int done = 0;
  std::u16string formatFailure;  // the done message's reason when formatting failed
  int cancelled = 0;
  TWipeParams* current = nullptr;
  DWORD stopTick = 0;  // when a handler wrote Active := 0
  DWORD endTick = 0;   // when the end (message or handle) arrived

  // True when some log line contains `text`.
  bool Logged(const std::u16string& text) const;
  std::string LogText() const;  // all lines, for failure messages
  // Progress messages that said an item was finished and wiped.
  size_t FinishedWiped() const;
  // Dispatches the messages queued for this thread.
  void Pump();

 private:
  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND wnd_ = nullptr;
};

// Stops the run at the first progress message, as a Stop click does.
void StopAtFirstProgress(Harness& harness);

// The letter the test script mapped for `name` (environment QV_TEST_<name>);
// 0 when none, and for C: and Z:, which tests never use.
char TestDrive(const char* name);
std::u16string Root(char drive);
std::u16string Utf16(const std::string& text);
std::string Narrow(const std::u16string& text);

// Files through Win32, for setting up and checking trees on test drives.
bool WriteWholeFile(const std::u16string& path, const std::string& content);
bool ReadWholeFile(const std::u16string& path, std::string& content);
bool Exists(const std::u16string& path);
std::vector<std::u16string> ListNames(const std::u16string& folder);
// Adds everything below `top` to `out`: paths relative to it, folders with a
// trailing backslash, files with their contents (links taken as what they
// lead to). False when a file could not be read (its content is left empty).
bool FolderContents(const std::u16string& top, std::map<std::u16string, std::string>& out);
uint64_t FreeBytes(const std::u16string& root);
// Hands one request to the test script's host-side helper (links, folder
// swaps, names Wine cannot make; see run-engine-tests.sh) and waits until it
// is carried out.
bool AskHost(char drive, const std::string& request);
// Reads a whole raw volume (\\.\X:) into memory.
bool ReadVolume(char drive, std::vector<uint8_t>& bytes);
// Number of places where `needle` occurs in `hay`.
size_t CountOccurrences(const std::vector<uint8_t>& hay, const std::string& needle);

}  // namespace qv::engine::test

// Skips the current test with a message that cannot be missed.
#define QV_SKIP_LOUDLY(what)                                                                        \
  do {                                                                                              \
    std::fprintf(stderr, "\n!!!!! SKIPPED: %s (the test drive was not mapped) !!!!!\n\n", what);   \
    GTEST_SKIP() << what;                                                                           \
  } while (0)
