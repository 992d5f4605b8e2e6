// The credentials prompt: a name and a password for an encrypted document,
// with the repetition field when a new encryption is made.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zt::ui {

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

    void accept() override;

private:
    QLineEdit* name_;
    QLineEdit* password_;
    QLineEdit* repeat_;
    QPushButton* certificate_;
};

} // namespace zt::ui
