// Facts about the running system: the user, the clock, temporary files,
// random numbers and identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zt {

// The clock used for time stamps. Tests install their own.
class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 UTC.
    virtual int64_t Now() const = 0;
};

// The installed clock (the system clock unless a test set another one).
const Clock& CurrentClock();
// Installs `clock` (nullptr restores the system clock). The caller keeps ownership.
void SetClock(const Clock* clock);

// Now as a 32-bit stamp.
int32_t NowStamp();
// A stamp that must be positive: non-positive values become 1.
inline int32_t PositiveStamp(int64_t t) { return t > 0 && t <= INT32_MAX ? int32_t(t) : (t > 0 ? INT32_MAX : 1); }

// The logged-on user's name, else $USER, else "DefaultUser" (UTF-8 converted
// to Windows-1252).
std::string CurrentUserName();

// $TMP, else $TEMP, else $TMPDIR, else "/tmp"; without a trailing slash.
std::string TempDirectory();

// Fills `out` from the operating system's random generator. Returns false when
// the generator fails; there is no weaker fallback.
bool RandomBytes(void* out, size_t n);

// A 32-digit upper-case hexadecimal identifier made from a random version-4
// UUID: the first 32-bit field as 8 digits, the two 16-bit fields as 4 digits
// each, then bytes 0..3 and 4..7 of the 8-byte tail each read as a
// little-endian 32-bit number. Empty when no random bytes could be had.
std::string NewServerIdent();

} // namespace zt
