// The reminder windows: the dialog "Termine..." that edits a working copy of
// the document's reminders, the address dialog "Email Adressen", and the
// modeless notification window of a due reminder.
#pragma once

#include "reminders/reminderlist.h"

#include <QDialog>
#include <QWidget>

#include <functional>

class CZTDocument;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace zt {
class Prompter;
}

namespace zt::ui {

// One address of the address dialog.
struct CZTMailAddress {
    QString name;
    QString address;
    // "Name <address>" or a bare address.
    static CZTMailAddress Parse(const QString& text);
    // The same form back.
    QString Text() const;
};

class CZTAddressDialog : public QDialog {
    Q_OBJECT
public:
    CZTAddressDialog(const QStringList& known, QWidget* parent = nullptr);
    std::vector<CZTMailAddress> addresses;
    bool attach = false;
    bool subtree = false;
    QComboBox* Input() const { return input_; }

    void accept() override;

private:
    void Show();
    QComboBox* input_;
    QListWidget* list_;
    QCheckBox* attachBox_;
    QCheckBox* subtreeBox_;
};

class CZTReminderDialog : public QDialog {
    Q_OBJECT
public:
    CZTReminderDialog(CZTDocument& doc, const CZTReminderList& list, int32_t currentPage, bool mailAvailable,
                      Prompter& prompter, QWidget* parent = nullptr);
    // The working list the dialog edits (and fires over while it is open).
    CZTReminderList& Working() { return work_; }
    // Shows the working list again.
    void Refill();
    // The address dialog (tests replace it): false when cancelled.
    std::function<bool(CZTAddressDialog&)> chooseAddresses;
    QStringList knownAddresses;
    // The addresses the address dialog was closed with ("Name <address>").
    std::function<void(const QStringList&)> addressesChosen;

    QDateTimeEdit* TimeEdit() const { return time_; }
    QLineEdit* TextEdit() const { return text_; }
    QComboBox* RepeatBox() const { return repeat_; }
    QComboBox* PageBox() const { return page_; }
    QCheckBox* MailBox() const { return mail_; }
    QPushButton* NewButton() const { return new_; }
    QTreeWidget* List() const { return tree_; }

    void accept() override;

private:
    void AddNew();
    void MoveToEditor();
    void ActOnSelected(int action); // 0 delete, 1 deactivate, 2 activate
    void MailToggled(bool on);
    std::vector<int> SelectedRows() const;

    CZTDocument& doc_;
    CZTReminderList work_;
    Prompter& prompter_;
    std::vector<int32_t> pageIdents_;
    std::vector<CZTMailAddress> addresses_;
    bool attach_ = false, subtree_ = false;
    int sortColumn_ = 0;
    bool sortDescending_ = false;

    QTreeWidget* tree_;
    QDateTimeEdit* time_;
    QComboBox* repeat_;
    QLineEdit* text_;
    QComboBox* page_;
    QCheckBox* window_;
    QCheckBox* mail_;
    QPushButton* new_;
};

// The notification of one due reminder. Modeless; the buttons snooze it,
// bring its page into view, or close it.
class CZTNotificationWindow : public QWidget {
    Q_OBJECT
public:
    CZTNotificationWindow(const CZTReminder& reminder, bool old, const QString& pagePath, QWidget* parent = nullptr);
    const CZTReminder& Reminder() const { return reminder_; }
    bool IsOld() const { return old_; }
    QPushButton* ShowPageButton() const { return showPage_; }
    QPushButton* Snooze5Button() const { return snooze5_; }
    QPushButton* Snooze15Button() const { return snooze15_; }
    QPushButton* OkButton() const { return ok_; }
    QCheckBox* SendMailBox() const { return sendMail_; }

    // The screen position of the next window: (120, 20), then 60 further left
    // and 20 lower each, back to the left edge 120 when it would go negative,
    // and to the top 20 once the top reaches 120.
    static QPoint NextPosition();

signals:
    void snoozed(const zt::CZTReminder& copy);
    void showPageRequested(int page);
    void mailRequested(const zt::CZTReminder& reminder);

private:
    CZTReminder reminder_;
    bool old_;
    QPushButton* showPage_ = nullptr;
    QPushButton* snooze5_ = nullptr;
    QPushButton* snooze15_ = nullptr;
    QPushButton* ok_ = nullptr;
    QCheckBox* sendMail_ = nullptr;
};

// The time of a reminder as the lists show it.
QString ReminderTimeText(int64_t t);

} // namespace zt::ui
