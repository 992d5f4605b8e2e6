// Reminders in the document: read from the kind 4 ext items of the pages and
// of the document when a document is opened, written back before it is saved,
// and the user's permission for e-mail reminders that someone else wrote.
#pragma once

#include "reminders/reminderlist.h"

#include <string>

class CZTDocument;
class CZTPageNode;

namespace zt {

class Prompter;

// The reminder options of the settings.
struct CZTReminderOptions {
    bool openAll = true;   // AlarmOpenAll: keep the reminders of an opened document
    bool openOld = true;   // AlarmOpenOld: report overdue reminders on opening
    bool expRoot = false;  // AlarmExpRoot
    bool expPage = true;   // AlarmExpPage
    bool impRoot = false;  // AlarmImpRoot
    bool impPage = false;  // AlarmImpPage
};

// The document-level ext item that keeps the users' answers about e-mail
// reminders: version 1, count N, N entries of one answer byte (1 allowed,
// 0 refused) and a 32-byte HMAC-SHA256 tag that binds the answer, the user
// and the reminder's mail target (address, recipient, mail flags, page path)
// to a key of that user kept outside the document. Nobody else can write a
// tag that counts for the user, so a document cannot bring permissions along.
constexpr uint32_t kExtMailApprovals = 6;

// The user's approval key: 32 random bytes in `path` (mode 0600), made on
// first use. Empty when it can neither be read nor made.
std::string LoadApprovalKey(const std::string& path);
// $XDG_DATA_HOME/zettrix/reminder.key (else ~/.local/share/zettrix/...).
std::string DefaultApprovalKeyPath();

struct CZTApproval {
    std::string key;  // the user's approval key
    std::string user; // the current user name
};

// Reads every reminder of the opened document into `list` (page reminders
// with their page, document-level ones with page 0); their mail permission
// is undecided (see ApproveMailReminders). With `openAll` off the
// reminder properties are removed instead and the list stays empty.
void LoadReminders(CZTDocument& doc, CZTReminderList& list, const CZTReminderOptions& options = {});

// Marks the e-mail reminders of `list`: allowed when the user allowed them,
// refused when the user refused them; for the others (written by another
// user) the user is asked once, and the answer is kept with the document for
// that user (the document is marked modified). Without a key every foreign
// e-mail reminder stays refused. Returns true when the question was asked.
bool ApproveMailReminders(CZTDocument& doc, CZTReminderList& list, const CZTApproval& approval,
                          Prompter& prompter);

// Writes the reminders into the properties: the list is rescheduled first;
// then every page in tree order gets the reminders linked to it, and the
// rest (no page, a page not in the tree) go into the document's property.
// Empty properties are removed. With an approval, every e-mail reminder whose
// permission the user decided gets the current user's tag for it. Marks the document modified when a
// property changed and returns whether one did.
bool StoreReminders(CZTDocument& doc, CZTReminderList& list, int64_t now, const CZTApproval* approval = nullptr);

// The display path of a reminder's page ("" for none or a missing page).
std::string ReminderPagePath(const CZTDocument& doc, int32_t page);

// Sets the reminder properties aside while part of a document is written
// (the page's subtree as a mail attachment, an export): page reminders stay
// only with `expPage`, document-level ones and the permissions only with
// `expRoot`. The destructor puts everything back.
class CZTPartialReminderGuard {
public:
    CZTPartialReminderGuard(CZTDocument& doc, const CZTReminderOptions& options);
    ~CZTPartialReminderGuard();
    CZTPartialReminderGuard(const CZTPartialReminderGuard&) = delete;
    CZTPartialReminderGuard& operator=(const CZTPartialReminderGuard&) = delete;

private:
    CZTDocument& doc_;
    std::string docExt_;
    std::vector<std::pair<int32_t, std::string>> pageExt_;
};

} // namespace zt
