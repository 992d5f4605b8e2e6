// Names on disk: path splitting, the name rule for derived file names and the
// unique-name rule " (#N)".
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zt {

// The file name part: what follows the last "\\" or "/", whichever is later.
std::string FileNamePart(std::string_view path);
// The directory part: everything before, including that separator.
std::string DirectoryPart(std::string_view path);

// Every character of "\\/:*?\"<>|%&" becomes "-"; an empty result or one that
// ends with "." gets "!" appended.
std::string DiskNameRule(std::string_view name);

// The name with " (#N)" inserted before its extension (the part from the last
// "." of the file name part on; none when the name has no ".").
std::string NumberedName(std::string_view path, int n);

// Tries `path` unchanged, then N = 1, 2, ... until `exists` is false.
std::string MakeUniqueName(std::string_view path, const std::function<bool(const std::string&)>& exists);

// MakeUniqueName against the file system.
std::string MakeUniquePath(std::string_view path);

// True when `relative` stays inside its base: not absolute, no ".." segment,
// no NUL byte. Backslashes count as separators.
bool IsSafeRelativePath(std::string_view relative);

// Joins a base directory and a relative path that starts with "/" or not.
std::string JoinPath(std::string_view base, std::string_view relative);

} // namespace zt
