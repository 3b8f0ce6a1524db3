#include "core/testing/ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

extern char** environ;

namespace qvtable {

// A fault or an abort ends a native child by its signal, after the
// sanitizer's report; the parent names the row and the step it was in.
void CatchFaults(int) {}
void StepBegun() {}

void EndProcessNow(int exitCode) { _exit(exitCode); }

std::string ReportFileName() {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder != nullptr ? folder : "/tmp") + "/qv-table-" + std::to_string(getpid()) + ".txt";
}

intptr_t StartSelf(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env) {
  std::vector<std::string> words{"/proc/self/exe"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
  pid_t child = 0;
  bool started = posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
  for (const auto& [name, value] : env) unsetenv(name.c_str());
  return started ? child : 0;
}

bool WaitChild(intptr_t child, int ms, unsigned long& exitCode) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));  // a pid cannot be waited for with a limit
  int status = 0;
  if (waitpid(static_cast<pid_t>(child), &status, WNOHANG) == 0) return false;
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

void KillChild(intptr_t child) { kill(static_cast<pid_t>(child), SIGKILL); }

}  // namespace qvtable
