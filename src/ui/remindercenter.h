// The reminders of the open document in the program: the list, the reminder
// timer and the wake-up timer, firing (page into view, sound, mail, the
// notification windows and a desktop notification), the dialog, and the
// close warning.
#pragma once

#include "reminders/remindermail.h"
#include "reminders/reminderlist.h"
#include "reminders/reminderstore.h"
#include "ui/optionsdialog.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class CZTDocument;
class QTimer;
class QWidget;

namespace zt {
class Prompter;
}

namespace zt::ui {

class CZTSettings;
class CZTNotificationWindow;
class CZTReminderDialog;

class CZTReminderCenter : public QObject {
    Q_OBJECT
public:
    CZTReminderCenter(CZTDocument& doc, CZTSettings& settings, std::function<Prompter&()> prompter,
                      QWidget* owner);
    ~CZTReminderCenter() override;

    CZTReminderList& List() { return list_; }
    // Shows the window and selects the page.
    std::function<void(int32_t page)> showPage;
    // The current page (preselected in the dialog).
    std::function<int32_t()> currentPage;
    // The plain text of a page (with its subtree) for mail bodies.
    std::function<std::string(CZTPageNode*, bool subtree)> composeBody;
    // The desktop notification (the default uses org.freedesktop.Notifications
    // when the session bus has it).
    std::function<void(const QString& summary, const QString& body)> desktopNotify;
    // Runs on a dialog before it is shown modally (tests drive it).
    std::function<void(CZTReminderDialog&)> onDialog;
    // Where the mail password of the options sheet goes (tests replace
    // them): the Secret Service when there is one; an empty password removes it.
    std::function<bool()> keyringAvailable;
    std::function<bool(const std::string& server, const std::string& user, const std::string& password)>
        keepPassword;

    // After a document was opened: read its reminders, ask about other
    // users' mail reminders, report overdue ones, arm the timer.
    void DocumentOpened();
    // The document was replaced by a new or failed one.
    void DocumentCleared();
    // Before every save.
    void StoreReminders();
    // The close warning: false when the user keeps the document open.
    bool ConfirmClose();
    // The command "Termine bearbeiten.".
    void EditReminders();
    bool MailAvailable() const;
    // The "Mail" page of the options sheet over the settings' section
    // "Mail": the password goes into the keyring, the rest is stored at once,
    // and a password given earlier in this run is forgotten.
    CZTOptionsDialog::MailPage MailOptionsPage();
    // The mail settings changed: the next mail asks the keyring (or the
    // user) for the password again.
    void MailSettingsChanged();
    // Keeps addresses chosen in the address dialog in the settings' list.
    void RememberAddresses(const QStringList& addresses);

    void Arm();
    // The reminder timer expired (also called by tests after moving the clock).
    void FireDue();
    std::vector<CZTNotificationWindow*> Windows() const;
    QTimer* ReminderTimer() const { return reminderTimer_; }
    QTimer* WakeUpTimer() const { return wakeUpTimer_; }
    // How many times a sound was started (tests).
    int soundsPlayed = 0;

private:
    void Fire(CZTReminderList& list, int64_t now);
    void Notify(const CZTReminder& reminder, bool old);
    void PlaySound();
    void SendMail(CZTReminderList& list, const CZTReminder& reminder, int64_t now);
    CZTReminderMailContext MailContext();
    CZTApproval Approval() const;
    CZTReminderOptions Options() const;
    void TakeSnoozed(const CZTReminder& copy);

    CZTDocument& doc_;
    CZTSettings& settings_;
    std::function<Prompter&()> prompter_;
    QWidget* owner_;
    CZTReminderList list_;
    QTimer* reminderTimer_;
    QTimer* wakeUpTimer_;
    bool firing_ = false;
    QPointer<CZTReminderDialog> dialog_;
    std::vector<QPointer<CZTNotificationWindow>> windows_;
    std::unique_ptr<CZTMailPasswords> passwords_;
    QObject* sound_ = nullptr;
};

} // namespace zt::ui
