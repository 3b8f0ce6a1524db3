#include "FileCalls.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "FileTaskThreads.h"
#include "HeldParent.h"
#include "PathNames.h"
#include "Protected.h"
#include "Reporter.h"
#include "Text.h"
#include "TreeWiper.h"

namespace qv::engine {
namespace {

struct FileJob {
  TWipeParams* block = nullptr;
  std::u16string path;
  bool pathTerminated = false;
  std::u16string next;  // empty: none
  std::vector<PassSpec> passes;
  const TListedItems* listed = nullptr;  // the caller's; null: everything found may be wiped
  bool listUnknown = false;              // a list of a layout this engine does not know
};

// What a call leaves for the next one: the folder held, with its work.
struct Chain {
  HeldParent held;
  TWipeParams* block = nullptr;  // of the call that left it
  uint32_t wnd = 0;              // that block's window, for reports without it
  std::u16string next;           // the path that call named as the next
  std::shared_ptr<const ProtectedFolders> guard;  // of the chain's first call
  const TListedItems* listed = nullptr;           // of the run the chain belongs to
  DWORD leftAt = 0;
  Reporter::Pace pace;  // of the progress messages of the chain
};

// The chain left by the last call, if any. A running call takes its chain
// out (calls handed over together then run side by side, as before, and the
// waiting threads never touch a folder a call works in).
struct Pending {
  std::mutex mutex;
  Chain chain;
  // Calls handed over that have not yet taken or finished the chain: the
  // waiting threads leave it to them, so that a run's own call (its end above
  // all) does its work and counts it in its block.
  std::atomic<int> callsUnderway{0};
  // The keys taken by each run given a list (by its list and block), until
  // its end call.
  std::map<std::pair<const TListedItems*, TWipeParams*>, std::shared_ptr<RunKeys>> runs;
};

Pending& Shared() {
  static Pending* pending = new Pending;  // kept to the end of the process, as the threads are
  return *pending;
}

}  // namespace

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

std::atomic<GuardSource> gFileGuard{SystemGuard};

namespace {

// Does the work left in the chain, which is empty afterwards. With `block`
// the one that left it, its failures are counted there; otherwise they are
// only logged to that block's window, and their number is returned.
uint32_t Finish(Chain& chain, TWipeParams* block) {
  uint32_t uncounted = 0;
  if (chain.held.Holds()) {
    if (block && block == chain.block) {
      Reporter reporter(block);
      FinishHeldParent(chain.held, reporter);
    } else {
      auto copy = std::make_unique<TWipeParams>();  // the window alone; Active 1, so nothing is cut short
      copy->Active = 1;
      copy->Wnd = chain.wnd;
      Reporter reporter(copy.get());
      FinishHeldParent(chain.held, reporter);
      uncounted = reporter.Failures();
    }
  }
  chain = Chain{};
  return uncounted;
}

// Finish, with the pending mutex held: failures that `block` cannot count
// are kept for the end call of the run that left the chain, when it was given
// a list (an older call's run logs them only).
void FinishLeft(Pending& pending, Chain& chain, TWipeParams* block) {
  auto run = chain.listed != nullptr ? pending.runs.find({chain.listed, chain.block}) : pending.runs.end();
  const uint32_t uncounted = Finish(chain, block);
  if (run != pending.runs.end()) run->second->lateFailures += uncounted;
}

// The folder a path lies directly in, in the long form the wipe opens; empty
// for a root, a path ending in a separator, or one that is not usable.
std::u16string ParentOf(const std::u16string& path) {
  if (path.empty() || path.back() == u'\\' || path.back() == u'/') return {};
  std::u16string longPath = ToLongPath(path);
  if (longPath.empty() || IsRootPath(longPath)) return {};
  return ParentPath(longPath);
}

// The end of a run (an empty path with the run's list): the work the run's
// calls left pending is done and counted in its block. A chain of another
// block is left to the calls of that run.
void EndRun(FileJob& job) {
  Pending& pending = Shared();
  Chain mine;
  uint32_t late = 0;
  {
    std::lock_guard<std::mutex> lock(pending.mutex);
    --pending.callsUnderway;
    if (pending.chain.held.Holds() && pending.chain.block == job.block) {
      mine = std::move(pending.chain);
      pending.chain = Chain{};
    }
    auto run = pending.runs.find({job.listed, job.block});
    if (run != pending.runs.end()) {
      late = run->second->lateFailures;
      pending.runs.erase(run);
    }
  }
  try {
    // What a waiting thread did for the run in a pause between its calls was logged then.
    if (late != 0) Reporter(job.block).Count(late);
    Finish(mine, job.block);
  } catch (...) {
    Reporter(job.block).Failure(u"The end of the run ended on an internal error");
  }
}

void RunFileJob(FileJob& job) {
  if (job.listed && !job.listUnknown && job.pathTerminated && job.path.empty()) return EndRun(job);
  Pending& pending = Shared();
  Reporter reporter(job.block);
  Chain mine;  // the chain this call continues, and leaves
  bool keep = false;
  bool taken = false;  // the chain looked at (callsUnderway counted down)
  std::shared_ptr<RunKeys> run;  // of the run given a list
  try {
    const bool usable = job.pathTerminated && !job.path.empty();
    const std::u16string parent = usable ? ParentOf(job.path) : std::u16string();
    {
      std::lock_guard<std::mutex> lock(pending.mutex);
      --pending.callsUnderway;
      taken = true;
      Chain& left = pending.chain;
      const bool continuing = left.held.Holds() && left.block == job.block && left.listed == job.listed &&
                              left.next == job.path && !parent.empty() && parent == left.held.folder.path &&
                              StillInPlace(left.held);
      if (continuing) {
        mine = std::move(left);
        left = Chain{};
      } else {
        FinishLeft(pending, left, job.block);
      }
      if (job.listed && !job.listUnknown) {
        std::shared_ptr<RunKeys>& keys = pending.runs[{job.listed, job.block}];
        if (!keys) keys = std::make_shared<RunKeys>(job.listed);
        run = keys;
      }
    }
    keep = !parent.empty() && !job.next.empty() && ParentOf(job.next) == parent;
    if (job.listUnknown) {
      keep = false;
      reporter.Failure(u"The list of what the confirm step listed is of a layout this engine does not know; " +
                       job.path + u" was not wiped");
    } else if (!job.pathTerminated) {
      reporter.Failure(u"The path is longer than 4095 characters; it was not wiped");
    } else if (job.path.empty()) {
      reporter.Failure(u"No path was given; nothing was wiped");
    } else {
      const bool continuing = mine.held.Holds();
      std::shared_ptr<const ProtectedFolders> guard = continuing ? mine.guard : gFileGuard.load()();
      if (continuing) reporter.KeepPace(mine.pace);
      // Whatever the wipe leaves in the chain is this call's, also should it throw.
      mine.block = job.block;
      mine.wnd = job.block->Wnd;
      mine.next = job.next;
      mine.guard = guard;
      mine.listed = job.listed;
      TreeWiper wiper(reporter, job.passes, *guard, run.get());
      if (continuing || keep) {
        wiper.Wipe(job.path, &mine.held);
      } else {
        wiper.Wipe(job.path);
      }
      mine.pace = reporter.CurrentPace();
    }
  } catch (...) {
    keep = false;
    if (!taken) --pending.callsUnderway;
    reporter.Failure(u"The wipe of " + job.path + u" ended on an internal error");
  }
  // Nothing is left pending past a call that names no next path in its
  // folder, or that finds a stop requested.
  try {
    if (!mine.held.Holds()) return;
    if (!keep || reporter.StopRequested()) {
      Finish(mine, job.block);
      return;
    }
    std::lock_guard<std::mutex> lock(pending.mutex);
    FinishLeft(pending, pending.chain, job.block);  // left by a call that ran beside this one: one folder at a time
    mine.leftAt = GetTickCount();
    pending.chain = std::move(mine);
  } catch (...) {
    reporter.Failure(u"The wipe of " + job.path + u" ended on an internal error");
  }
}

// The waiting threads' idle work: the pending work once no call came for a while.
DWORD FinishStalePending() {
  Pending& pending = Shared();
  std::unique_lock<std::mutex> lock(pending.mutex, std::try_to_lock);
  if (!lock.owns_lock()) return 20;  // a call is taking or leaving it
  Chain& left = pending.chain;
  if (!left.held.Holds()) return INFINITE;
  if (pending.callsUnderway > 0) return 20;  // a call will take it, or finish it first
  DWORD age = GetTickCount() - left.leftAt;
  DWORD wait = gPendingWaitMs;
  if (age < wait) return wait - age;
  // Its failures are logged to the run's window; a run given a list counts them at its end.
  try {
    FinishLeft(pending, left, nullptr);
  } catch (...) {
    left = Chain{};
  }
  return INFINITE;
}

}  // namespace

std::atomic<DWORD> gPendingWaitMs{500};

void FinishPendingAtEnd() {
  // The process's other threads are stopped by now: a chain one of them was
  // taking or finishing (its lock still held) is left as it is.
  Pending& pending = Shared();
  std::unique_lock<std::mutex> lock(pending.mutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  try {
    Finish(pending.chain, nullptr);
  } catch (...) {
    pending.chain = Chain{};
  }
}

bool WorkPending() {
  Pending& pending = Shared();
  std::lock_guard<std::mutex> lock(pending.mutex);
  return pending.chain.held.Holds();
}

HANDLE StartFileWipe(void* wipeParams, const void* listed) {
  if (!wipeParams) return nullptr;
  auto* block = static_cast<TWipeParams*>(wipeParams);
  auto job = std::make_shared<FileJob>();
  job->block = block;
  if (listed) {
    // Read where the caller keeps it, for as long as the handle is not set.
    job->listed = static_cast<const TListedItems*>(listed);
    job->listUnknown = job->listed->size != sizeof(TListedItems) || job->listed->keySize != sizeof(TItemKey) ||
                       (job->listed->count != 0 && job->listed->keys == nullptr) ||
                       (job->listed->folderCount != 0 && job->listed->folders == nullptr);
  }
  for (int i = 0; i < kBlockTextChars; ++i) {
    if (block->Path[i] != 0) continue;
    job->path.assign(block->Path, size_t(i));
    job->pathTerminated = true;
    // The next path, when it is terminated inside the field too.
    for (int j = i + 1; j < kBlockTextChars; ++j) {
      if (block->Path[j] != 0) continue;
      job->next.assign(block->Path + i + 1, size_t(j - i - 1));
      break;
    }
    break;
  }
  job->passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  gIdleWork = FinishStalePending;
  // Counted before the task is queued: from here on the chain waits for it.
  ++Shared().callsUnderway;
  HANDLE done = RunFileTask([job] { RunFileJob(*job); });
  if (!done) {
    DWORD error = GetLastError();
    --Shared().callsUnderway;
    Reporter(block).Failure(u"The engine could not start: " + ErrorText(error));
  }
  return done;
}

}  // namespace qv::engine
