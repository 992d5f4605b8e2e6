// The document's reminders: one list ordered by time, and the decisions of
// the reminder timer (what is due, when to wake up next). Every decision
// takes `now` from the caller, so that tests run a year of repetitions in
// milliseconds.
#pragma once

#include "reminders/reminder.h"

#include <vector>

namespace zt {

class CZTReminderList {
public:
    std::vector<CZTReminder>& Items() { return items_; }
    const std::vector<CZTReminder>& Items() const { return items_; }
    bool Empty() const { return items_.empty(); }
    size_t Size() const { return items_.size(); }
    void Clear() { items_.clear(); }

    // Inserts by time; after the reminders of the same time.
    void Add(CZTReminder reminder);
    // Every reminder whose time is now or earlier is removed and, when it
    // repeats, put back at its next time. Inactive ones move on like active
    // ones; a finished one goes even when inactive.
    void Reschedule(int64_t now);
    // The first active reminder, or null.
    const CZTReminder* FirstActive() const;
    bool HasActive() const { return FirstActive() != nullptr; }
    // Copies of the active reminders whose time is now or earlier, in order.
    std::vector<CZTReminder> Due(int64_t now) const;
    // Same number of reminders with the same time, text, page, repetition and flags.
    bool SameAs(const CZTReminderList& other) const;

    // What the timer is armed for. The reminder timer runs for `delay`
    // seconds when the first active reminder lies at most 6 days ahead;
    // further ahead, a wake-up timer runs for 5 days and only arms again.
    struct Arming {
        enum Kind { None, Reminder, WakeUp } kind = None;
        int64_t delay = 0; // seconds, at least 0
    };
    // Reschedules first (unless a firing is in progress), then decides.
    Arming Arm(int64_t now, bool firing = false);

private:
    std::vector<CZTReminder> items_;
};

constexpr int64_t kArmLimit = 518400;  // 6 days
constexpr int64_t kWakeUpDelay = 432000; // 5 days

// The copy that "in 5 Min. wiederholen" / "in 15 Min. wiederholen" makes:
// repetition 0, snoozed, at the current minute + `minutes`; the e-mail flag
// is cleared unless the notification was an old one.
CZTReminder SnoozedCopy(const CZTReminder& reminder, int64_t now, int minutes, bool old);
// Whether the two snooze buttons are offered for a repetition.
bool Snooze5Allowed(int repeat);
bool Snooze15Allowed(int repeat);

} // namespace zt
