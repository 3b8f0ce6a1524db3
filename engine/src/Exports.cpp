// Entry points of the engine: each copies what it needs from the caller's
// blocks and hands the work to a thread of its own (a file task to one of
// the kept threads of FileTaskThreads.h).
#include "QuorvanellEngine.h"

#include <memory>
#include <mutex>
#include <string>

#include "DriveTasks.h"
#include "FileTaskThreads.h"
#include "Reporter.h"
#include "Text.h"
#include "TreeWiper.h"

namespace qv::engine {
namespace {

struct FileJob {
  TWipeParams* block = nullptr;
  std::u16string path;
  bool pathTerminated = false;
  std::vector<PassSpec> passes;
};

// The guard of this system, kept for the file tasks of the whole process: the
// program hands over every ticked path by a call of its own, and making a
// guard opens every protected folder and each folder holding it and asks for
// their volumes (about 7 ms under Wine). Before each use every folder it knows
// is opened again by its path and must still be the same one; otherwise (a
// folder moved, replaced or made since) a new guard is made and kept.
std::shared_ptr<const ProtectedFolders> SystemGuard() {
  static std::mutex mutex;
  static std::shared_ptr<const ProtectedFolders> kept;
  std::lock_guard<std::mutex> lock(mutex);
  if (!kept || !kept->StillHolds()) kept = std::make_shared<const ProtectedFolders>(ProtectedFolders::ForThisSystem());
  return kept;
}

void RunFileJob(FileJob* job) {
  Reporter reporter(job->block);
  try {
    if (!job->pathTerminated) {
      reporter.Failure(u"The path is longer than 4095 characters; it was not wiped");
    } else if (job->path.empty()) {
      reporter.Failure(u"No path was given; nothing was wiped");
    } else {
      std::shared_ptr<const ProtectedFolders> guard = SystemGuard();
      TreeWiper(reporter, job->passes, *guard).Wipe(job->path);
    }
  } catch (...) {
    reporter.Failure(u"The wipe of " + job->path + u" ended on an internal error");
  }
}

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

HANDLE __cdecl FileWipe(void* wipeParams) {
  if (!wipeParams) return nullptr;
  auto* block = static_cast<TWipeParams*>(wipeParams);
  auto job = std::make_unique<FileJob>();
  job->block = block;
  for (int i = 0; i < kBlockTextChars; ++i) {
    if (block->Path[i] == 0) {
      job->path.assign(block->Path, size_t(i));
      job->pathTerminated = true;
      break;
    }
  }
  job->passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  std::shared_ptr<FileJob> shared(std::move(job));
  HANDLE done = RunFileTask([shared] { RunFileJob(shared.get()); });
  if (!done) Reporter(block).Failure(u"The engine could not start: " + ErrorText(GetLastError()));
  return done;
}

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
