// A reminder: a point in time with a short text, optionally linked to a page,
// optionally repeating, that pops up a notification and may send an e-mail.
// Here: the record, its stored form (the kind 4 ext item of a page or of the
// document) and the repetition rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

enum ReminderFlag : int32_t {
    kReminderActive = 0x01,
    kReminderMail = 0x02,
    kReminderNoWindow = 0x04,
    kReminderAttach = 0x08,
    kReminderSubtree = 0x10,
};

constexpr int kRepeatNone = 0;
constexpr int kRepeatDaily = 9;
constexpr int kRepeatWeekly = 10;
constexpr int kRepeatMonthly = 11;
constexpr int kRepeatCount = 12;
constexpr size_t kReminderTextMax = 60;
constexpr size_t kReminderAddressMax = 63;
constexpr size_t kReminderRecordSize = 272;

struct CZTReminder {
    int64_t time = 0;          // seconds since 1970 UTC, a whole minute
    std::string text;          // Windows-1252, at most 60 bytes
    int32_t page = 0;          // linked page, 0 for none
    int32_t repeat = 0;        // 0..11
    std::string address;       // Windows-1252, at most 63 bytes
    std::string recipient;     // Windows-1252, at most 63 bytes
    int32_t flags = kReminderActive;
    // Memory only.
    bool snoozed = false;      // made by the "in 5/15 Min." buttons
    // The local clock time (seconds after midnight) a daily or weekly
    // reminder keeps once it was rescheduled, so that a time moved over the
    // missing hour of the spring change (02:30 to 03:30) goes back the day
    // after; -1 before: the clock time of `time`.
    int32_t clock = -1;
    bool mailRetry = false;    // the retry of a mail that failed (the user was told)
    bool mayMail = true;       // false while the user has not allowed another user's mail reminder
    // Whether `mayMail` is the user's decision (a reminder made in this run,
    // or one the user's permission was looked up or asked for). Reminders
    // read from a document start undecided and may not mail.
    bool decided = true;

    bool Active() const { return flags & kReminderActive; }
    bool Mail() const { return flags & kReminderMail; }
    // Same time, text, page, repetition and flags.
    bool SameAs(const CZTReminder& o) const {
        return time == o.time && text == o.text && page == o.page && repeat == o.repeat && flags == o.flags &&
               address == o.address && recipient == o.recipient;
    }
};

// The interval of a repetition in seconds; 0 for none and for the monthly one.
int64_t RepeatInterval(int repeat);
// The German text of a repetition ("keine", "jede Minute", ...), UTF-8.
const char* RepeatText(int repeat);

// Seconds cut off: the start of the minute (floor).
inline int64_t CutToMinute(int64_t t) { return t - ((t % 60) + 60) % 60; }

// The reminder's next time after `now`: its time when that lies after now,
// else the first repetition after now; 0 when it does not repeat.
//
// Intervals up to two hours count seconds. Daily and weekly repetitions keep
// the reminder's clock time in local time (a day across a change of daylight
// saving time has 23 or 25 hours). The monthly rule takes the reminder's day,
// hour, minute and second in local time; a day the month lacks rolls over
// into the next month (the 31st of a 30-day month is the 1st of the next).
// The earliest such time after now wins, also the rolled-over time of the
// month before, so that no month is skipped. A local time that occurs twice
// (the autumn change) is its first instance; one that does not occur (the
// spring change) is moved forward by the gap.
int64_t NextOccurrence(const CZTReminder& reminder, int64_t now);

// The local clock time of `t` in seconds after midnight.
int32_t ClockOf(int64_t t);

// Local time fields to seconds since 1970 by the rules above (day and month
// overflow roll over; month is 1..12 and may lie outside).
int64_t LocalToTime(int year, int month, int day, int hour, int minute, int second);

// "HH:MM Uhr am Ddd. den DD. Mmm. YYYY" in local time, UTF-8.
std::string FormatReminderTime(int64_t t);
// "YYYY-MM-DD HH:MM" (local time) to seconds; false when malformed.
bool ParseReminderTime(std::string_view text, int64_t& t);

// The stored form of a list of reminders (version 1, count, 272-byte records).
std::string EncodeReminders(const std::vector<const CZTReminder*>& reminders);
// Reads a stored form; every record gets `page`. False (nothing added) when
// the property is malformed: 4 bytes or shorter, version not 1, or a size
// other than 12 + N * 272.
bool DecodeReminders(std::string_view data, int32_t page, std::vector<CZTReminder>& out);

} // namespace zt
