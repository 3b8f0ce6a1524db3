#pragma once
// Where a system runs on another one (Wine on a Unix host), every path is
// handed on to the host, whose paths end at 4,095 bytes however long the
// system's own may be: past that the host can neither open nor delete by
// path, and the system gives odd reasons for it. Such failures are told by
// the path's length there.
#include <cstddef>
#include <string>

namespace qv::engine {

// The host's longest path, without its terminator.
constexpr size_t kHostPathLimit = 4095;

// The host's name of `path` (UTF-8), as Wine gives it; false where there is
// no such host or it cannot say.
bool HostName(const std::u16string& path, std::string& name);
// The length in bytes of the host's form of `longPath` (a path on a drive
// letter); 0 where there is no such host or it cannot say.
size_t HostPathBytes(const std::u16string& longPath);
// Whether `longPath` is longer than the host allows.
bool BeyondHostLimit(const std::u16string& longPath);
// The reason given for what failed so, without its subject ("its path is ...").
extern const char16_t kBeyondHostLimit[];

}  // namespace qv::engine
