// Entry points of the engine: each copies what it needs from the caller's
// blocks and hands the work to a thread of its own (a file task to one of
// the kept threads of FileTaskThreads.h, see FileCalls.h).
#include "QuorvanellEngine.h"

#include <memory>
#include <string>

#include "DriveTasks.h"
#include "FileCalls.h"
#include "Reporter.h"
#include "Text.h"

namespace qv::engine {
namespace {

DWORD WINAPI DiskWipeThread(void* argument) {
  std::unique_ptr<DriveJob> job(static_cast<DriveJob*>(argument));
  try {
    RunDiskWipe(*job);
  } catch (...) {
    Reporter reporter(job->block);
    reporter.Failure(u"The disk wipe ended on an internal error");
    reporter.Done();
  }
  return 0;
}

DWORD WINAPI FreeSpaceThread(void* argument) {
  std::unique_ptr<DriveJob> job(static_cast<DriveJob*>(argument));
  try {
    RunFreeSpaceWipe(*job);
  } catch (...) {
    Reporter reporter(job->block);
    reporter.Failure(u"The free-space wipe ended on an internal error");
    reporter.Done();
  }
  return 0;
}

char DriveLetter(char drive) {
  if (drive >= 'a' && drive <= 'z') return char(drive - 'a' + 'A');
  return drive >= 'A' && drive <= 'Z' ? drive : 0;
}

std::unique_ptr<DriveJob> NewDriveJob(TWipeParams* block) {
  auto job = std::make_unique<DriveJob>();
  job->block = block;
  job->drive = DriveLetter(block->Drive);
  job->passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  job->guard = ProtectedFolders::ForThisSystem();
  return job;
}

// Starts a drive task's thread; when none can be started, ends the run at once.
void StartDriveThread(LPTHREAD_START_ROUTINE routine, std::unique_ptr<DriveJob> job) {
  TWipeParams* block = job->block;
  HANDLE thread = CreateThread(nullptr, 0, routine, job.get(), 0, nullptr);
  if (!thread) {
    Reporter reporter(block);
    reporter.Failure(u"The engine could not start: " + ErrorText(GetLastError()));
    reporter.Done();
    return;
  }
  job.release();
  CloseHandle(thread);
}

}  // namespace
}  // namespace qv::engine

using namespace qv::engine;

extern "C" {

// A process that ends (or lets go of the engine) within the pause a chain of
// file calls waits for its next call leaves the chain's work to be done here:
// its private folder removed, the names its files left overwritten.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) FinishPendingAtEnd();
  return TRUE;
}

HANDLE __cdecl FileWipe(void* wipeParams) { return StartFileWipe(wipeParams); }

HANDLE __cdecl FileWipeListed(void* wipeParams, const void* listed) { return StartFileWipe(wipeParams, listed); }

void __cdecl DriveWipeStart(void* wipeParams, void* formatParams) {
  if (!wipeParams) return;
  std::unique_ptr<DriveJob> job = NewDriveJob(static_cast<TWipeParams*>(wipeParams));
  if (formatParams) job->format = ReadFormatParams(*static_cast<const TFormatParams*>(formatParams));
  StartDriveThread(DiskWipeThread, std::move(job));
}

void __cdecl DriveCleanFreeSpace(void* wipeParams) {
  if (!wipeParams) return;
  StartDriveThread(FreeSpaceThread, NewDriveJob(static_cast<TWipeParams*>(wipeParams)));
}

}
