#include "reminders/remindermail.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/document.h"
#include "reminders/secretstore.h"

#include <cstdlib>
#include <unistd.h>

namespace zt {

bool CZTMailPasswords::Get(const CZTMailSettings& settings, std::string& password) {
    // Only for the server and user it was given for.
    if (haveCached_ && cachedFor_ == settings.server + '\n' + settings.user) {
        password = cached_;
        return true;
    }
    if (LookupMailPassword(settings.server, settings.user, password)) return true;
    Prompter::CredentialsQuestion q;
    q.document = FormatMessage(Msg::MailServerCredentials, {settings.server});
    std::string name;
    if (!prompter_.AskCredentials(q, name, password)) return false;
    return true;
}

void CZTMailPasswords::Accepted(const CZTMailSettings& settings, const std::string& password) {
    cached_ = password;
    cachedFor_ = settings.server + '\n' + settings.user;
    haveCached_ = true;
    StoreMailPassword(settings.server, settings.user, password);
}

void CZTMailPasswords::Refused(const CZTMailSettings& settings) {
    cached_.clear();
    haveCached_ = false;
    ClearMailPassword(settings.server, settings.user);
}

bool AttachDocumentCopy(CZTDocument& doc, CZTPageNode* page, bool subtree, const CZTReminderOptions& options,
                        CZTMailJob& job) {
    if (!page) return false;
    std::string path = TempDirectory() + "/afxXXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) return false;
    close(fd);
    CZTArchive& archive = doc.Archive();
    const bool modified = archive.IsModified();
    const std::string title = archive.Header().title;
    CZTPageList pages = subtree ? doc.Tree().BuildPageList(page) : doc.Tree().BuildPageList(page, 1);
    if (!pages.empty()) pages.front().indicator = "c";
    bool ok;
    {
        CZTPartialReminderGuard guard(doc, options);
        CZTArchive::CopyOptions copy;
        copy.kind = CZTArchive::CopyKind::External;
        copy.wholeDocument = false;
        copy.subtreeTitle = page->Title();
        archive.Header().title = page->Title();
        ok = archive.SaveCopy(path, pages, copy);
        archive.Header().title = title;
    }
    archive.SetModified(modified);
    if (!ok) {
        unlink(path.c_str());
        return false;
    }
    std::string name = page->Title().substr(0, 255);
    job.attachmentPath = path;
    job.attachmentName = Cp1252ToUtf8(DiskNameRule(name) + ".ztd");
    job.deleteAttachment = true;
    return true;
}

void ComposeReminderMail(CZTDocument& doc, const CZTReminder& r, const CZTReminderMailContext& context,
                         CZTMailJob& job) {
    job.address = Cp1252ToUtf8(r.address);
    job.name = Cp1252ToUtf8(r.recipient);
    job.subject = Cp1252ToUtf8(r.text);
    CZTPageNode* page = r.page ? doc.Tree().FindPage(r.page) : nullptr;
    const bool subtree = r.flags & kReminderSubtree;
    if (!page) {
        job.body.clear();
    } else if (r.flags & kReminderAttach) {
        job.body = MessageText(Msg::ReminderMailBody);
        AttachDocumentCopy(doc, page, subtree, context.options, job); // without it the mail goes without
    } else {
        job.body = context.composeBody ? context.composeBody(page, subtree) : std::string();
    }
}

CZTMailResult SendReminderMail(CZTDocument& doc, CZTReminderList& list, const CZTReminder& r, int64_t now,
                               const CZTReminderMailContext& context, Prompter& prompter) {
    CZTMailResult result;
    if (!r.Mail() || !r.mayMail) {
        result.ok = true;
        return result;
    }
    std::string password;
    bool asked = true;
    if (!context.settings.user.empty())
        asked = context.passwords ? context.passwords->Get(context.settings, password) : false;
    if (!asked) {
        result.error = MessageText(Msg::MailAuthFailed);
        result.loginRefused = true;
    } else {
        CZTMailJob job;
        ComposeReminderMail(doc, r, context, job);
        result = SendMail(job, context.settings, password);
        if (context.passwords && !context.settings.user.empty()) {
            if (result.ok) context.passwords->Accepted(context.settings, password);
            else if (result.loginRefused) context.passwords->Refused(context.settings);
        }
    }
    if (result.ok) return result;
    if (!r.mailRetry)
        prompter.Message(FormatMessage(Msg::ReminderMailFailed, {Cp1252ToUtf8(r.text), result.error}),
                         Prompter::Icon::Warning);
    CZTReminder retry = r;
    retry.repeat = kRepeatNone;
    retry.flags |= kReminderNoWindow | kReminderActive;
    retry.mailRetry = true;
    retry.snoozed = false;
    retry.time = CutToMinute(now) + kMailRetryDelay;
    list.Add(std::move(retry));
    return result;
}

} // namespace zt
