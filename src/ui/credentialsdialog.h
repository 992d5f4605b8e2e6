// The credentials prompt: a name and a password for an encrypted document,
// with the repetition field when a new encryption is made, and the
// "Zertifikat" button for a certificate of a key file or token instead.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zt {
class Prompter;
}

namespace zt::ui {

class CZTKeySourceHolder;

class CCredentialsDialog : public QDialog {
    Q_OBJECT
public:
    // `document` (UTF-8, may be empty) names the document in the title.
    CCredentialsDialog(const QString& document, bool newEncryption, QWidget* parent = nullptr);

    QString Name() const;
    QString Password() const;
    // Fills in the name (after a failed attempt) and puts the caret into the
    // password field.
    void SetName(const QString& name);
    // Empties the fields (the password does not outlive the dialog's use).
    void ClearFields();

    // Allows certificates: "Zertifikat" runs the key source road into
    // `holder` and, when a certificate results, closes the dialog as OK.
    // `privateKey`: the certificate must decrypt (opening a document).
    void SetKeySource(CZTKeySourceHolder* holder, zt::Prompter* prompter, bool privateKey);
    // Whether the dialog closed with a certificate chosen.
    bool CertificateChosen() const { return certificateChosen_; }
    void ChooseCertificate();

    void accept() override;

private:
    CZTKeySourceHolder* holder_ = nullptr;
    zt::Prompter* prompter_ = nullptr;
    bool privateKey_ = true;
    bool certificateChosen_ = false;
    QLineEdit* name_;
    QLineEdit* password_;
    QLineEdit* repeat_;
    QPushButton* certificate_;
};

} // namespace zt::ui
