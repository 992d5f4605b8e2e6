// The command "Ver- und Entschlüsseln": a document without encryption gets
// one through the credentials prompt (with the repeat field); an unlocked
// document's names, passwords and certificates are edited with the dialog
// "Ver- und Entschlüsseln" (the present credentials first, then the new ones
// and what to do with them: change, add, delete, or remove all encryption).
#pragma once

#include "ui/keysource.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zt {
class Prompter;
struct CZtCredentials;
} // namespace zt

namespace zt::ui {

class CMainFrame;

class CEncryptionDialog : public QDialog {
    Q_OBJECT
public:
    enum class Action { Change, Add, Remove };

    // `certificates`: whether the "Zertifikat" buttons are enabled.
    CEncryptionDialog(zt::Prompter& prompter, bool certificates, QWidget* parent = nullptr);
    ~CEncryptionDialog() override;

    Action ChosenAction() const;
    bool RemoveAll() const;
    // The credentials of either group (name and password as Windows-1252
    // bytes where they fit, the key object when a certificate was chosen).
    // The caller wipes them.
    zt::CZtCredentials OldCredentials() const;
    zt::CZtCredentials NewCredentials() const;
    // Empties every field and lets go of the certificates.
    void ClearFields();

    void accept() override;
    void ChooseOldCertificate();
    void ChooseNewCertificate();

private:
    void UpdateEnabled();

    zt::Prompter& prompter_;
    bool certificates_;
    QLineEdit *oldName_, *oldPassword_, *newName_, *newPassword_, *newRepeat_;
    QPushButton *oldCertificate_, *newCertificate_;
    QLabel *oldSubject_, *newSubject_;
    QCheckBox* removeAll_;
    QRadioButton *change_, *add_, *remove_;
    CZTKeySourceHolder oldKeys_, newKeys_;
};

// The command's handler in the main window.
class CZTEncryptionUi {
public:
    explicit CZTEncryptionUi(CMainFrame& frame) : frame_(frame) {}
    bool Handles(int id) const;
    bool IsEnabled(int id) const;
    void Execute(int id);

private:
    void CreateEncryption();
    void EditEncryption();
    CMainFrame& frame_;
};

} // namespace zt::ui
