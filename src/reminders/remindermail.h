// The mail a reminder sends: the message made from the reminder, the linked
// page or subtree attached as a document file, the password, and what
// happens when sending fails (the user is told once, the reminder stays due).
#pragma once

#include "reminders/mail.h"
#include "reminders/reminderlist.h"
#include "reminders/reminderstore.h"

#include <functional>
#include <string>

class CZTDocument;
class CZTPageNode;

namespace zt {

class Prompter;

// The password of the mail server for one run: kept in memory once given,
// taken from the keyring when there is one, else asked through the prompter.
class CZTMailPasswords {
public:
    explicit CZTMailPasswords(Prompter& prompter) : prompter_(prompter) {}
    // False when the user cancelled.
    bool Get(const CZTMailSettings& settings, std::string& password);
    void Accepted(const CZTMailSettings& settings, const std::string& password);
    void Refused(const CZTMailSettings& settings);

private:
    Prompter& prompter_;
    std::string cached_, cachedFor_;
    bool haveCached_ = false;
};

struct CZTReminderMailContext {
    CZTMailSettings settings;
    CZTReminderOptions options;
    // The plain text of a page alone or with its subtree (UTF-8), for the
    // body of a mail without attachment. Null: the body stays empty.
    std::function<std::string(CZTPageNode* page, bool subtree)> composeBody;
    CZTMailPasswords* passwords = nullptr;
};

// Writes the page (with its subtree) to a new temporary file as a document of
// its own, titled after the page, and sets the job's attachment to it, named
// after the page's title with ".ztd". The document's title, path and
// modified flag are as before afterwards. False (no attachment) on failure.
bool AttachDocumentCopy(CZTDocument& doc, CZTPageNode* page, bool subtree, const CZTReminderOptions& options,
                        CZTMailJob& job);

// Fills the job for a reminder: address, recipient, the text as subject, and
// the body (the attachment note with an attachment, the page text without,
// empty without a page).
void ComposeReminderMail(CZTDocument& doc, const CZTReminder& reminder, const CZTReminderMailContext& context,
                         CZTMailJob& job);

// Sends a reminder's mail. A reminder that may not mail (another user's,
// not allowed) sends nothing. When sending fails, the user is told once per
// reminder (not again for its retries), and a retry copy that sends only
// the mail is put into `list` 5 minutes later, so the mail stays due.
CZTMailResult SendReminderMail(CZTDocument& doc, CZTReminderList& list, const CZTReminder& reminder, int64_t now,
                               const CZTReminderMailContext& context, Prompter& prompter);

constexpr int64_t kMailRetryDelay = 300;

} // namespace zt
