#pragma once
// Path text for the file task: long-path forms, drive roots, random names.
#include <string>

namespace qv::engine {

// The extended-length form ("\\?\C:\a", "\\?\UNC\srv\share\a") of a full
// path, naming exactly what it names: every name is kept as it stands (also
// one ending in a dot or a space), "/" becomes "\" and runs of separators are
// one; "D:" means the drive's root. Empty, with the reason in `why`, for
// relative paths ("a", "D:a", "\a"), "." and ".." parts and device paths.
std::u16string ToLongPath(const std::u16string& path, std::u16string* why = nullptr);
// The path as a user writes it: the long-path prefix taken off again.
std::u16string ToDisplayPath(const std::u16string& longPath);
// True for a drive root or a share root (long or plain form, with or without
// a trailing backslash): such a folder is emptied but never removed.
bool IsRootPath(const std::u16string& path);
// Joins a folder and a name with exactly one backslash.
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);
// The folder part of a path (without trailing backslash) and the last name.
std::u16string ParentPath(const std::u16string& path);
std::u16string LastName(const std::u16string& path);
// A random name of `length` characters from A-Z and 0-9 that is no reserved
// device name; false when the system's random source fails.
bool RandomName(size_t length, std::u16string& name);

}  // namespace qv::engine
