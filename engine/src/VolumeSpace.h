#pragma once
// What a volume says of its space, for the free-space task: how much is free,
// how much of that this user's files may still take, its allocation unit, and
// whether a disk quota can stand between the two.
#include <windows.h>

#include <cstdint>
#include <string>

namespace qv::engine {

enum class QuotaKind {
  None,      // the file system has no quotas, or they are off
  Enforced,  // a quota may refuse this user's files
  Unknown,   // the system does not say
};

struct VolumeSpace {
  uint64_t available = 0;  // what this user's files may still take
  uint64_t total = 0;
  uint64_t free = 0;       // free on the volume, including what is held back from this user
  uint64_t unit = 0;       // allocation unit in bytes; 0 when the volume does not say
  QuotaKind quota = QuotaKind::Unknown;
};

// The figures of the volume whose root is `root` ("R:\"). The volume's own
// full-size record comes first: under Wine only it tells free from available
// (GetDiskFreeSpaceExW there gives the available figure for both). False,
// with the last error set, when neither answers.
bool SystemDiskFreeSpace(const std::u16string& root, VolumeSpace& space);

}  // namespace qv::engine
