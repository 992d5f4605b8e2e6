// The reminders of a document: listing them with their next time, and
// adding one.
#include "ztd.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/system.h"
#include "core/pagepaths.h"
#include "reminders/reminderstore.h"

#include <iostream>

namespace ztd {

namespace {

// The repetition by its index or its German text ("jeden Tag").
bool ParseRepeat(const std::string& text, int& repeat) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() < 3) {
        repeat = std::stoi(text);
        return repeat < zt::kRepeatCount;
    }
    for (int i = 0; i < zt::kRepeatCount; ++i)
        if (text == zt::RepeatText(i)) {
            repeat = i;
            return true;
        }
    return false;
}

zt::CZTApproval UserApproval(const Context& c) {
    return {zt::LoadApprovalKey(zt::DefaultApprovalKeyPath()), c.doc.Archive().User()};
}

int List(Context& c, const Args& a) {
    if (!c.Open(a.positional[1])) return kDocError;
    zt::CZTReminderList list;
    zt::LoadReminders(c.doc, list);
    const int64_t now = zt::CurrentClock().Now();
    const bool json = a.Has("--json");
    if (json) std::cout << "[";
    bool first = true;
    for (const auto& r : list.Items()) {
        const int64_t next = zt::NextOccurrence(r, now);
        const std::string page = U8(zt::ReminderPagePath(c.doc, r.page));
        if (json) {
            std::cout << (first ? "" : ",") << "\n {\"time\":" << r.time << ",\"next\":" << next
                      << ",\"text\":" << JsonString(U8(r.text)) << ",\"page\":" << JsonString(page)
                      << ",\"repeat\":" << r.repeat << ",\"repeat_text\":" << JsonString(zt::RepeatText(r.repeat))
                      << ",\"active\":" << (r.Active() ? "true" : "false") << ",\"flags\":" << r.flags
                      << ",\"address\":" << JsonString(U8(r.address))
                      << ",\"recipient\":" << JsonString(U8(r.recipient)) << "}";
        } else {
            std::cout << (next ? zt::FormatReminderTime(next) : std::string("-")) << "  " << U8(r.text) << "  "
                      << (page.empty() ? "-" : page) << "  " << zt::RepeatText(r.repeat) << "  "
                      << (r.Active() ? "J" : "N") << (r.Mail() ? "  " + U8(r.address) : std::string()) << "\n";
        }
        first = false;
    }
    if (json) std::cout << (first ? "]\n" : "\n]\n");
    return kOk;
}

int Remind(Context& c, const Args& a) {
    if (a.positional.size() < 5) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* page = nullptr;
    if (a.positional[2] != "-" && a.positional[2] != "/") {
        page = c.Page(a.positional[2]);
        if (!page) return kDocError;
    }
    zt::CZTReminder r;
    if (!zt::ParseReminderTime(a.positional[3], r.time))
        return c.Fail(zt::FormatMessage(zt::Msg::ReminderBadTime, {a.positional[3]}));
    const int64_t now = zt::CurrentClock().Now();
    if (r.time <= zt::CutToMinute(now)) return c.Fail(zt::MessageText(zt::Msg::ReminderPast));
    if (a.Has("--repeat") && !ParseRepeat(a.Get("--repeat"), r.repeat))
        return c.Fail(zt::FormatMessage(zt::Msg::ReminderBadRepeat, {a.Get("--repeat")}));
    std::string text = zt::Utf8ToCp1252(a.positional[4]);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
    if (text.empty() && page) text = page->Title();
    r.text = text.substr(0, zt::kReminderTextMax);
    r.page = page ? page->Ident() : 0;
    r.flags = zt::kReminderActive;
    if (a.Has("--mail")) {
        r.address = zt::Utf8ToCp1252(a.Get("--mail")).substr(0, zt::kReminderAddressMax);
        r.recipient = zt::Utf8ToCp1252(a.Get("--recipient")).substr(0, zt::kReminderAddressMax);
        r.flags |= zt::kReminderMail;
        if (a.Has("--no-window")) r.flags |= zt::kReminderNoWindow;
        if (a.Has("--attach")) r.flags |= zt::kReminderAttach;
        if (a.Has("--subtree")) r.flags |= zt::kReminderSubtree;
    }
    zt::CZTReminderList list;
    zt::LoadReminders(c.doc, list);
    // The reminders read stay undecided; only the new one is the user's own.
    const zt::CZTApproval approval = UserApproval(c);
    list.Add(r);
    zt::StoreReminders(c.doc, list, now, &approval);
    return c.SaveBack();
}

} // namespace

void AddReminderCommands(std::vector<Command>& commands) {
    commands.push_back({"reminders", 1, List, "reminders DOK [--json]   Termine mit ihrem nächsten Zeitpunkt"});
    commands.push_back({"remind", 4, Remind,
                        "remind DOK PFAD \"JJJJ-MM-TT HH:MM\" TEXT [--repeat N|TEXT] [--mail ADRESSE "
                        "[--recipient NAME] [--attach] [--subtree] [--no-window]]   Termin anlegen (PFAD - ohne Seite)"});
}

} // namespace ztd
