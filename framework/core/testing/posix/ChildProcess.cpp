#include "core/testing/ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

TChildEnd RunChild(const std::string& filter, const std::string& rows, const std::string& out,
                   const std::function<uint64_t()>& reportSize, int quietMs) {
  TChildEnd end;
  std::string self = "/proc/self/exe", brief = "--gtest_brief=1", only = "--gtest_filter=" + filter;
  char* argv[] = {self.data(), brief.data(), only.data(), nullptr};
  setenv("QV_TABLE_ROWS", rows.c_str(), 1);
  setenv("QV_TABLE_OUT", out.c_str(), 1);
  pid_t child = 0;
  end.started = posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, environ) == 0;
  unsetenv("QV_TABLE_ROWS");
  unsetenv("QV_TABLE_OUT");
  if (!end.started) return end;
  // A child is ended only when it stops reporting: rows take what they take.
  uint64_t size = 0;
  auto quietSince = std::chrono::steady_clock::now();
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (uint64_t now = reportSize(); now != size) {
      size = now;
      quietSince = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - quietSince > std::chrono::milliseconds(quietMs)) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      end.hung = true;
      break;
    }
  }
  end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return end;
}

}  // namespace qvtable
