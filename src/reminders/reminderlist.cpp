#include "reminders/reminderlist.h"

#include <algorithm>

namespace zt {

void CZTReminderList::Add(CZTReminder reminder) {
    auto at = std::upper_bound(items_.begin(), items_.end(), reminder.time,
                               [](int64_t t, const CZTReminder& r) { return t < r.time; });
    items_.insert(at, std::move(reminder));
}

void CZTReminderList::Reschedule(int64_t now) {
    std::vector<CZTReminder> moved;
    auto it = items_.begin();
    while (it != items_.end() && it->time <= now) ++it;
    for (auto d = items_.begin(); d != it; ++d) {
        const int64_t next = NextOccurrence(*d, now);
        if (next != 0) {
            if (d->clock < 0 && (d->repeat == kRepeatDaily || d->repeat == kRepeatWeekly)) d->clock = ClockOf(d->time);
            d->time = next;
            moved.push_back(std::move(*d));
        }
    }
    items_.erase(items_.begin(), it);
    for (auto& r : moved) Add(std::move(r));
}

const CZTReminder* CZTReminderList::FirstActive() const {
    for (const auto& r : items_)
        if (r.Active()) return &r;
    return nullptr;
}

std::vector<CZTReminder> CZTReminderList::Due(int64_t now) const {
    std::vector<CZTReminder> out;
    for (const auto& r : items_) {
        if (r.time > now) break;
        if (r.Active()) out.push_back(r);
    }
    return out;
}

bool CZTReminderList::SameAs(const CZTReminderList& other) const {
    if (items_.size() != other.items_.size()) return false;
    for (size_t i = 0; i < items_.size(); ++i)
        if (!items_[i].SameAs(other.items_[i])) return false;
    return true;
}

CZTReminderList::Arming CZTReminderList::Arm(int64_t now, bool firing) {
    if (!firing) Reschedule(now);
    Arming a;
    const CZTReminder* first = FirstActive();
    if (!first) return a;
    const int64_t d = std::max<int64_t>(0, first->time - now);
    if (d <= kArmLimit) {
        a.kind = Arming::Reminder;
        a.delay = d;
    } else {
        a.kind = Arming::WakeUp;
        a.delay = kWakeUpDelay;
    }
    return a;
}

CZTReminder SnoozedCopy(const CZTReminder& reminder, int64_t now, int minutes, bool old) {
    CZTReminder copy = reminder;
    copy.repeat = kRepeatNone;
    if (!old) copy.flags &= ~kReminderMail;
    copy.snoozed = true;
    copy.time = CutToMinute(now) + int64_t(minutes) * 60;
    return copy;
}

bool Snooze5Allowed(int repeat) { return !(repeat >= 1 && repeat <= 5); }
bool Snooze15Allowed(int repeat) { return !(repeat >= 1 && repeat <= 6); }

} // namespace zt
