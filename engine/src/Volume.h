#pragma once
// A whole drive opened as a raw volume (\\.\X:): size, sector size, lock,
// dismount, and sector-aligned reads and writes at explicit offsets.
#include <windows.h>

#include <cstdint>
#include <memory>

namespace qv::engine {

class Volume {
 public:
  // Opens drive `letter` ('A'..'Z') unbuffered and write-through; null with
  // `error` set when the system refuses.
  static std::unique_ptr<Volume> Open(char letter, DWORD& error);
  ~Volume();
  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;

  // Size in bytes: the length query, or else the size of the opened object;
  // 0 when neither answers.
  uint64_t size() const { return size_; }
  uint32_t sectorBytes() const { return sectorBytes_; }
  HANDLE handle() const { return handle_; }

  // Locks the volume against other users, retrying for a second, then
  // dismounts its file system (a refused dismount is tolerated). False, with
  // nothing dismounted, when the lock cannot be had: files are open on it.
  bool LockAndDismount();
  bool WriteAt(uint64_t offset, const void* data, uint32_t length, DWORD& error);
  bool ReadAt(uint64_t offset, void* data, uint32_t length, DWORD& error);
  bool Flush();
  // Unlocks (when locked) and closes; later calls do nothing.
  void Close();

 private:
  explicit Volume(HANDLE handle) : handle_(handle) {}
  void QueryGeometry();

  HANDLE handle_;
  uint64_t size_ = 0;
  uint32_t sectorBytes_ = 512;
  bool locked_ = false;
};

// The lock request LockAndDismount makes; tests put a refusing one in its place.
using VolumeControl = bool (*)(HANDLE volume);
extern VolumeControl gLockVolume;
bool SystemLockVolume(HANDLE volume);

}  // namespace qv::engine
