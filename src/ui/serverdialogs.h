// The dialogs of the server session: connect (server address, user,
// password), the document choice with its buttons, a new document, the
// confirmation of a deletion or change, the document's users and rights, the
// password change, and the disconnect notice. They collect input only; the
// requests are made by the session (servercommands.h).
#pragma once

#include "server/answers.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace zt {
class Prompter;
}

namespace zt::ui {

// Dialog 145 "Verbinden mit Zettrix Web Server...".
class CZTConnectDialog : public QDialog {
    Q_OBJECT
public:
    // `hosts`: the host list, newest first; `defaultAddress` is appended
    // when missing. The first entry is selected.
    CZTConnectDialog(const QStringList& hosts, const QString& defaultAddress, const QString& user,
                     const QString& password, bool ssl, QWidget* parent = nullptr);
    QString Address() const;
    QString User() const;
    QString Password() const;
    bool Ssl() const;

private:
    QComboBox* address_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* ssl_;
};

// Dialog 146 "Dokument auswählen".
class CZTDocChoiceDialog : public QDialog {
    Q_OBJECT
public:
    enum class Choice { Open, New, Delete, ChangeDoc, ChangePassword };
    explicit CZTDocChoiceDialog(const srv::GetContentAnswer& list, QWidget* parent = nullptr);
    Choice Chosen() const { return choice_; }
    // The selected document (-1 when the list is empty).
    int Selected() const;
    bool ReadWrite() const;

private:
    void UpdateButtons();
    void Finish(Choice c);
    const srv::GetContentAnswer& list_;
    Choice choice_ = Choice::Open;
    QListWidget* docs_;
    QCheckBox* readWrite_;
    QPushButton *new_, *delete_, *change_, *password_, *ok_;
};

// Dialog 209 "Dokument Erstellen".
class CZTNewDocDialog : public QDialog {
    Q_OBJECT
public:
    explicit CZTNewDocDialog(QWidget* parent = nullptr);
    QString Name() const;

private:
    QLineEdit* name_;
};

// Dialog 158: a question with the document name.
class CZTConfirmDocDialog : public QDialog {
    Q_OBJECT
public:
    CZTConfirmDocDialog(const QString& caption, const QString& prompt, const QString& name, QWidget* parent = nullptr);
};

// Dialog 210 "Dokumenteigenschaften ändern". `own` is the user's own right
// on the document.
class CZTServerDocPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    CZTServerDocPropertiesDialog(const QString& name, std::vector<srv::UserRight> users, const std::vector<std::string>& all,
                           int own, Prompter& prompter, QWidget* parent = nullptr);
    QString Name() const;
    const std::vector<srv::UserRight>& Users() const { return users_; }
    void accept() override;

private:
    void Refill();
    void Selected();
    void Add();
    void Remove();
    void SetRight(int right);
    std::vector<srv::UserRight> users_;
    int own_;
    Prompter& prompter_;
    QLineEdit* name_;
    QListWidget* docUsers_;
    QListWidget* allUsers_;
    QRadioButton* rights_[4];
};

// Dialog 211 "Zettrix: Passwort ändern". `stored` is the password in use.
class CZTPasswordDialog : public QDialog {
    Q_OBJECT
public:
    CZTPasswordDialog(const QString& stored, Prompter& prompter, QWidget* parent = nullptr);
    QString NewPassword() const;
    void accept() override;
    // True when the old password was wrong (the dialog closed without a change).
    bool OldWrong() const { return oldWrong_; }

private:
    QString stored_;
    Prompter& prompter_;
    QLineEdit *old_, *new_, *repeat_;
    bool oldWrong_ = false;
};

// Dialog 147 "Trennen": shown while the write lock is released.
class CZTDisconnectDialog : public QDialog {
    Q_OBJECT
public:
    explicit CZTDisconnectDialog(QWidget* parent = nullptr);
};

// A document's entry in the choice list: its name and right suffix.
QString DocumentEntryText(const srv::ContentDoc& doc);
// " (r)", " (rw)", " (rwg)", " (rwgg)" for rights 1 to 4.
const char* RightSuffix(int right);

} // namespace zt::ui
