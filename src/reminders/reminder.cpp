#include "reminders/reminder.h"

#include "base/cp1252.h"
#include "base/messages.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace zt {

namespace {

constexpr int64_t kIntervals[kRepeatCount] = {0, 60, 120, 300, 600, 900, 1800, 3600, 7200, 86400, 604800, 0};
constexpr Msg kRepeatTexts[kRepeatCount] = {
    Msg::RepeatNone,      Msg::RepeatMinute,    Msg::Repeat2Minutes, Msg::Repeat5Minutes,
    Msg::Repeat10Minutes, Msg::Repeat15Minutes, Msg::Repeat30Minutes, Msg::RepeatHour,
    Msg::Repeat2Hours,    Msg::RepeatDay,       Msg::RepeatWeek,      Msg::RepeatMonth};

void PutInt(std::string& out, size_t at, int32_t v) {
    const uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = char((u >> (8 * i)) & 0xFF);
}

int32_t GetInt(std::string_view in, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(uint8_t(in[at + size_t(i)])) << (8 * i);
    return int32_t(u);
}

void PutText(std::string& out, size_t at, const std::string& text, size_t max) {
    const size_t n = std::min(text.size(), max);
    for (size_t i = 0; i < n; ++i) {
        if (text[i] == '\0') break;
        out[at + i] = text[i];
    }
}

std::string GetText(std::string_view in, size_t at, size_t max) {
    std::string_view field = in.substr(at, max);
    return std::string(field.substr(0, field.find('\0')));
}

bool SameWall(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
           a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

std::tm Local(int64_t t) {
    std::tm out{};
    const time_t tt = time_t(t);
    localtime_r(&tt, &out);
    return out;
}

} // namespace

int32_t ClockOf(int64_t t) {
    const std::tm tm = Local(t);
    return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

int64_t RepeatInterval(int repeat) { return repeat >= 0 && repeat < kRepeatCount ? kIntervals[repeat] : 0; }

const char* RepeatText(int repeat) {
    return repeat >= 0 && repeat < kRepeatCount ? MessageText(kRepeatTexts[repeat]) : "";
}

int64_t LocalToTime(int year, int month, int day, int hour, int minute, int second) {
    // The calendar date first (day and month overflow roll over), without the
    // time zone: timegm normalises the fields.
    std::tm wall{};
    wall.tm_year = year - 1900;
    wall.tm_mon = month - 1;
    wall.tm_mday = day;
    wall.tm_hour = hour;
    wall.tm_min = minute;
    wall.tm_sec = second;
    const time_t asUtc = timegm(&wall); // normalises `wall`
    if (asUtc == time_t(-1) && wall.tm_year != 69) return 0;
    // Then every reading of that local time: standard and daylight time.
    int64_t valid[2];
    int64_t any[2];
    int nValid = 0, nAny = 0;
    for (int dst = 0; dst <= 1; ++dst) {
        std::tm probe = wall;
        probe.tm_isdst = dst;
        const time_t t = mktime(&probe);
        if (t == time_t(-1)) continue;
        any[nAny++] = int64_t(t);
        if (SameWall(Local(int64_t(t)), wall)) valid[nValid++] = int64_t(t);
    }
    if (nValid > 0) return nValid == 2 ? std::min(valid[0], valid[1]) : valid[0]; // first instance
    if (nAny > 0) return nAny == 2 ? std::max(any[0], any[1]) : any[0];           // after the gap
    return int64_t(asUtc);
}

int64_t NextOccurrence(const CZTReminder& r, int64_t now) {
    if (r.time > now) return r.time;
    const int64_t interval = RepeatInterval(r.repeat);
    const int64_t elapsed = now - r.time;
    if (r.repeat == kRepeatDaily || r.repeat == kRepeatWeekly) {
        // The same clock time every day or week: the local date moves on by
        // whole days, so a 09:00 reminder stays at 09:00 over the changes of
        // daylight saving time. A day is 23 to 25 hours long, so the count of
        // days found by seconds is off by one at most; start a step earlier.
        const int step = r.repeat == kRepeatDaily ? 1 : 7;
        const std::tm at = Local(r.time);
        const int clock = r.clock >= 0 && r.clock < 86400 ? r.clock : at.tm_hour * 3600 + at.tm_min * 60 + at.tm_sec;
        int64_t days = std::max<int64_t>(0, elapsed / 86400 / step * step - step);
        for (int guard = 0; guard < 8; ++guard, days += step) {
            const int64_t t = LocalToTime(at.tm_year + 1900, at.tm_mon + 1, at.tm_mday + int(days), clock / 3600,
                                          clock / 60 % 60, clock % 60);
            if (t > now) return t;
        }
        // Unreachable with a working time zone database; seconds then.
    }
    if (r.repeat >= 1 && r.repeat <= 10) return r.time + (elapsed / interval + 1) * interval;
    if (r.repeat != kRepeatMonthly) return 0;
    const std::tm at = Local(r.time);
    const std::tm n = Local(now);
    int64_t best = 0;
    // The month before (its rolled-over day may lie in this month), this one
    // and the next: the earliest time after now.
    for (int k = -1; k <= 1; ++k) {
        const int64_t t = LocalToTime(n.tm_year + 1900, n.tm_mon + 1 + k, at.tm_mday, at.tm_hour, at.tm_min,
                                      at.tm_sec);
        if (t > now && (best == 0 || t < best)) best = t;
    }
    return best;
}

std::string FormatReminderTime(int64_t t) {
    const std::tm local = Local(t);
    char buf[128];
    const size_t n = strftime(buf, sizeof buf, MessageText(Msg::ReminderTimeFormat), &local);
    // The locale's names come in its own encoding; in a UTF-8 locale they
    // are UTF-8 already, otherwise they are taken as Windows-1252.
    std::string out(buf, n);
    bool ascii = std::all_of(out.begin(), out.end(), [](char c) { return uint8_t(c) < 0x80; });
    if (ascii) return out;
    const char* codeset = std::strstr(setlocale(LC_TIME, nullptr) ? setlocale(LC_TIME, nullptr) : "", "UTF-8");
    return codeset ? out : Cp1252ToUtf8(out);
}

bool ParseReminderTime(std::string_view text, int64_t& t) {
    int y, mo, d, h, mi;
    char extra;
    const std::string s(text);
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d%c", &y, &mo, &d, &h, &mi, &extra) != 5) return false;
    if (y < 1971 || y > 2037 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59)
        return false;
    t = LocalToTime(y, mo, d, h, mi, 0);
    const std::tm back = Local(t);
    return back.tm_mday == d; // 31 February and the like are refused
}

std::string EncodeReminders(const std::vector<const CZTReminder*>& reminders) {
    std::string out(12 + reminders.size() * kReminderRecordSize, '\0');
    PutInt(out, 0, 1);
    PutInt(out, 4, 0);
    PutInt(out, 8, int32_t(reminders.size()));
    size_t at = 12;
    for (const CZTReminder* r : reminders) {
        PutInt(out, at + 0, 1);
        PutInt(out, at + 4, r->flags);
        PutInt(out, at + 8, r->repeat);
        PutInt(out, at + 12, int32_t(r->time));
        PutText(out, at + 16, r->text, kReminderTextMax);
        PutText(out, at + 77, r->address, kReminderAddressMax);
        PutText(out, at + 141, r->recipient, kReminderAddressMax);
        at += kReminderRecordSize;
    }
    return out;
}

bool DecodeReminders(std::string_view data, int32_t page, std::vector<CZTReminder>& out) {
    if (data.size() <= 4 || data.size() < 12) return false;
    if (GetInt(data, 0) != 1) return false;
    const int64_t count = GetInt(data, 8);
    if (count < 0 || data.size() != 12 + uint64_t(count) * kReminderRecordSize) return false;
    for (int64_t i = 0; i < count; ++i) {
        const size_t at = 12 + size_t(i) * kReminderRecordSize;
        CZTReminder r;
        r.flags = GetInt(data, at + 4);
        r.repeat = GetInt(data, at + 8);
        r.time = GetInt(data, at + 12);
        r.text = GetText(data, at + 16, kReminderTextMax);
        r.address = GetText(data, at + 77, kReminderAddressMax);
        r.recipient = GetText(data, at + 141, kReminderAddressMax);
        r.page = page;
        out.push_back(std::move(r));
    }
    return true;
}

} // namespace zt
