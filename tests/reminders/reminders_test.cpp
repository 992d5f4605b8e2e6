// Repetition rules and the timer's decisions, with the clock in the test's
// hand.
#include "reminders/reminder.h"
#include "reminders/reminderlist.h"

#include <gtest/gtest.h>

#include <set>

namespace zt {
namespace {

int64_t T(const char* local) {
    int64_t t = 0;
    EXPECT_TRUE(ParseReminderTime(local, t)) << local;
    return t;
}

CZTReminder R(int64_t time, int repeat) {
    CZTReminder r;
    r.time = time;
    r.repeat = repeat;
    r.text = "x";
    return r;
}

struct Case {
    const char* what;
    int repeat;
    const char* start;
    const char* now;
    int64_t expected; // seconds since 1970 UTC; 0 = does not repeat
};

// 2027-03-28 02:00 CET and 2027-10-31 03:00 CEST are the changes of 2027;
// 2026-10-25 the autumn change of 2026; 2028 is a leap year.
TEST(NextOccurrence, Table) {
    const Case cases[] = {
        {"future time is itself", 9, "2027-01-15 10:00", "2027-01-14 08:00", T("2027-01-15 10:00")},
        {"15 minutes at 10:31", 5, "2027-01-15 10:00", "2027-01-15 10:31", T("2027-01-15 10:45")},
        {"due exactly now moves on", 1, "2027-01-15 10:00", "2027-01-15 10:00", T("2027-01-15 10:01")},
        {"no repetition ends", 0, "2027-01-15 10:00", "2027-01-15 10:00", 0},
        {"unknown repetition ends", 12, "2027-01-15 10:00", "2027-01-16 10:00", 0},
        {"2 minutes", 2, "2027-01-15 10:00", "2027-01-15 10:03", T("2027-01-15 10:04")},
        {"30 minutes", 6, "2027-01-15 10:00", "2027-01-15 12:59", T("2027-01-15 13:00")},
        {"2 hours", 8, "2027-01-15 10:00", "2027-01-16 10:00", T("2027-01-16 12:00")},
        {"weekly", 10, "2027-01-01 12:00", "2027-01-20 00:00", T("2027-01-22 12:00")},
        // Intervals up to two hours count seconds: across the spring change
        // an hour passes from 01:00 CET to 03:00 CEST.
        {"hourly over spring change", 7, "2027-03-28 01:00", "2027-03-28 01:30", 1806195600},
        // Days and weeks keep the clock time over both changes (the day of
        // the change has 23 or 25 hours).
        {"daily over spring change", 9, "2027-03-27 09:00", "2027-03-27 09:00", T("2027-03-28 09:00")},
        {"daily over autumn change", 9, "2027-10-30 09:00", "2027-10-30 09:00", T("2027-10-31 09:00")},
        {"daily, the day after the spring change", 9, "2027-03-27 09:00", "2027-03-28 09:00", T("2027-03-29 09:00")},
        {"daily far behind, over both changes", 9, "2027-01-10 09:00", "2027-12-01 08:59", T("2027-12-01 09:00")},
        {"weekly over spring change", 10, "2027-03-22 09:00", "2027-03-22 09:00", T("2027-03-29 09:00")},
        {"weekly over autumn change", 10, "2027-10-25 09:00", "2027-10-25 12:00", T("2027-11-01 09:00")},
        {"weekly far behind", 10, "2027-01-04 18:15", "2027-11-03 00:00", T("2027-11-08 18:15")},
        // 02:30 on 2027-10-31 happens twice: the daily reminder takes the
        // first instance (CEST), 1824942600.
        {"daily into the repeated hour", 9, "2027-10-30 02:30", "2027-10-30 02:30", 1824942600},
        // 02:30 on 2027-03-28 does not exist: 03:30 CEST, 1806197400.
        {"daily into the missing hour", 9, "2027-03-27 02:30", "2027-03-27 02:30", 1806197400},
        // Month ends and leap years.
        {"31 January to 3 March", 11, "2027-01-31 09:00", "2027-01-31 09:00", T("2027-03-03 09:00")},
        {"31 January leap year", 11, "2028-01-31 09:00", "2028-01-31 09:00", T("2028-03-02 09:00")},
        {"29 February to 29 March", 11, "2028-02-29 09:00", "2028-02-29 09:00", T("2028-03-29 09:00")},
        {"29 February a year on", 11, "2028-02-29 09:00", "2029-02-28 10:00", T("2029-03-01 09:00")},
        {"31st in a 30-day month", 11, "2027-03-31 09:00", "2027-04-15 12:00", T("2027-05-01 09:00")},
        {"rolled-over February not skipped", 11, "2027-01-31 09:00", "2027-03-01 08:00", T("2027-03-03 09:00")},
        {"monthly far behind", 11, "2025-06-15 18:30", "2027-01-20 00:00", T("2027-02-15 18:30")},
        {"December to January", 11, "2027-12-10 08:00", "2027-12-10 08:00", T("2028-01-10 08:00")},
        // Monthly keeps the clock time over the changes.
        {"monthly over spring change", 11, "2027-03-15 09:00", "2027-03-15 09:00", T("2027-04-15 09:00")},
        {"monthly over autumn change", 11, "2027-10-15 09:00", "2027-10-15 09:00", T("2027-11-15 09:00")},
        // 02:30 on 2026-10-25 happens twice: the first instance (CEST).
        {"ambiguous time takes first", 11, "2026-09-25 02:30", "2026-09-25 02:30", 1792888200},
        // 02:30 on 2027-03-28 does not exist: moved on by the hour, 03:30 CEST.
        {"missing time moves forward", 11, "2027-02-28 02:30", "2027-02-28 02:30", 1806197400},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextOccurrence(R(T(c.start), c.repeat), T(c.now)), c.expected) << c.what;
    }
}

TEST(NextOccurrence, AmbiguousTimeFiresOnceNotTwice) {
    // Fired at the first 02:30 of the autumn change: next is a month later,
    // not the second 02:30 an hour later.
    const int64_t first = 1792888200; // 2026-10-25 02:30 CEST
    EXPECT_EQ(NextOccurrence(R(first, 11), first), T("2026-11-25 02:30"));
}

// Runs the timer over [from, until): returns every firing time.
std::vector<int64_t> RunTimer(CZTReminderList& list, int64_t from, int64_t until) {
    std::vector<int64_t> fired;
    int64_t now = from;
    for (int guard = 0; guard < 100000; ++guard) {
        CZTReminderList::Arming a = list.Arm(now);
        if (a.kind == CZTReminderList::Arming::None) break;
        now += std::max<int64_t>(a.delay, 1);
        if (now >= until) break;
        if (a.kind == CZTReminderList::Arming::WakeUp) continue;
        for (const auto& r : list.Due(now)) fired.push_back(r.time);
    }
    return fired;
}

std::tm LocalTm(int64_t t) {
    const time_t tt = time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm;
}

// Daily and weekly reminders over a year with both changes of daylight
// saving time: every day (week) once, always at the same clock time.
TEST(Scheduling, AYearOfDailyAndWeeklyRepetitionsKeepsTheClockTime) {
    struct Case {
        int repeat;
        const char* start;
        size_t firings;
        int64_t gapDays;
    } cases[] = {{9, "2027-01-01 07:00", 365, 1}, {9, "2027-01-01 02:30", 365, 1}, {10, "2027-01-04 09:00", 52, 7}};
    for (const Case& c : cases) {
        CZTReminderList list;
        list.Add(R(T(c.start), c.repeat));
        const auto fired = RunTimer(list, T("2026-12-31 12:00"), T("2028-01-01 00:00"));
        ASSERT_EQ(fired.size(), c.firings) << c.start;
        const std::tm first = LocalTm(fired.front());
        int longDays = 0, shortDays = 0;
        for (size_t i = 0; i < fired.size(); ++i) {
            const std::tm tm = LocalTm(fired[i]);
            // 02:30 does not exist on the day of the spring change: 03:30.
            const bool missing = c.start[11] == '0' && c.start[12] == '2' && tm.tm_mon == 2 && tm.tm_mday == 28;
            EXPECT_EQ(tm.tm_hour, first.tm_hour + (missing ? 1 : 0)) << c.start << " #" << i;
            EXPECT_EQ(tm.tm_min, first.tm_min) << c.start << " #" << i;
            if (i == 0) continue;
            const int64_t gap = fired[i] - fired[i - 1];
            if (gap > c.gapDays * 86400) ++longDays;
            if (gap < c.gapDays * 86400) ++shortDays;
            EXPECT_LE(std::abs(gap - c.gapDays * 86400), 3600) << c.start << " #" << i;
        }
        // Over the spring change a repetition is an hour shorter, over the
        // autumn change an hour longer.
        EXPECT_GE(shortDays, 1) << c.start;
        EXPECT_GE(longDays, 1) << c.start;
    }
}

TEST(Scheduling, MonthlyOverThreeYearsFiresOncePerMonth) {
    CZTReminderList list;
    list.Add(R(T("2026-01-25 02:30"), 11)); // meets both changes in some years
    const auto fired = RunTimer(list, T("2026-01-01 00:00"), T("2029-01-01 00:00"));
    ASSERT_EQ(fired.size(), 36u);
    std::set<int> months;
    for (int64_t t : fired) {
        const time_t tt = time_t(t);
        std::tm tm{};
        localtime_r(&tt, &tm);
        months.insert(tm.tm_year * 12 + tm.tm_mon);
        EXPECT_EQ(tm.tm_mday, 25);
        EXPECT_EQ(tm.tm_min, 30);
    }
    EXPECT_EQ(months.size(), 36u);
}

TEST(Scheduling, MonthlyOnThe31stNeverFiresTwiceInAMonth) {
    CZTReminderList list;
    list.Add(R(T("2027-01-31 09:00"), 11));
    const auto fired = RunTimer(list, T("2027-01-01 00:00"), T("2028-01-01 00:00"));
    ASSERT_FALSE(fired.empty());
    for (size_t i = 1; i < fired.size(); ++i) EXPECT_GT(fired[i], fired[i - 1]);
    EXPECT_EQ(fired[0], T("2027-01-31 09:00"));
    EXPECT_EQ(fired[1], T("2027-03-03 09:00"));
}

TEST(Scheduling, EightDaysAheadWakesAfterFiveThenArmsForThree) {
    CZTReminderList list;
    const int64_t now = T("2027-05-01 10:00");
    list.Add(R(now + 8 * 86400, 0));
    auto a = list.Arm(now);
    EXPECT_EQ(a.kind, CZTReminderList::Arming::WakeUp);
    EXPECT_EQ(a.delay, 5 * 86400);
    a = list.Arm(now + a.delay);
    EXPECT_EQ(a.kind, CZTReminderList::Arming::Reminder);
    EXPECT_EQ(a.delay, 3 * 86400);
}

TEST(Scheduling, ListOrderAndRescheduleRules) {
    CZTReminderList list;
    const int64_t now = T("2027-05-01 10:00");
    CZTReminder a = R(now + 600, 0), b = R(now + 600, 0), c = R(now - 60, 0), d = R(now - 60, 9);
    a.text = "a";
    b.text = "b";
    d.flags = 0; // inactive: moves on, never fires
    list.Add(a);
    list.Add(b);
    list.Add(c);
    list.Add(d);
    EXPECT_EQ(list.Items()[2].text, "a");
    EXPECT_EQ(list.Items()[3].text, "b"); // same time: after the earlier one
    EXPECT_EQ(list.Due(now).size(), 1u);  // the inactive one does not fire
    list.Reschedule(now);
    ASSERT_EQ(list.Size(), 3u);           // the finished one went
    EXPECT_EQ(list.Items().back().time, now - 60 + 86400);
    EXPECT_EQ(list.FirstActive()->text, "a");
    CZTReminderList only;
    only.Add(d);
    EXPECT_EQ(only.Arm(now).kind, CZTReminderList::Arming::None);
}

TEST(Scheduling, SnoozeOnADailyReminder) {
    CZTReminder daily = R(T("2027-05-01 10:00"), 9);
    daily.flags |= kReminderMail;
    const int64_t now = T("2027-05-01 10:00") + 17;
    const CZTReminder copy = SnoozedCopy(daily, now, 15, false);
    EXPECT_EQ(copy.time, T("2027-05-01 10:15"));
    EXPECT_EQ(copy.repeat, 0);
    EXPECT_TRUE(copy.snoozed);
    EXPECT_FALSE(copy.Mail());
    EXPECT_TRUE(SnoozedCopy(daily, now, 5, true).Mail());
    EXPECT_EQ(NextOccurrence(daily, now), T("2027-05-02 10:00"));
    // The buttons for interval repetitions.
    EXPECT_FALSE(Snooze5Allowed(5));
    EXPECT_TRUE(Snooze5Allowed(6));
    EXPECT_FALSE(Snooze15Allowed(6));
    EXPECT_TRUE(Snooze15Allowed(7));
    EXPECT_TRUE(Snooze15Allowed(0));
}

TEST(ReminderTime, ParseAndFormat) {
    int64_t t = 0;
    EXPECT_FALSE(ParseReminderTime("2027-02-31 09:00", t));
    EXPECT_FALSE(ParseReminderTime("2027-01-15 9", t));
    EXPECT_FALSE(ParseReminderTime("2027-01-15 09:00x", t));
    ASSERT_TRUE(ParseReminderTime("2027-01-15 09:00", t));
    EXPECT_EQ(t, 1800000000); // 08:00 UTC
    const std::string text = FormatReminderTime(t);
    EXPECT_EQ(text.substr(0, 12), "09:00 Uhr am");
    EXPECT_NE(text.find("15."), std::string::npos);
    EXPECT_NE(text.find("2027"), std::string::npos);
}

} // namespace
} // namespace zt
