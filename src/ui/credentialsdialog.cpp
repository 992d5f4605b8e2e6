#include "ui/credentialsdialog.h"

#include "base/messages.h"
#include "ui/keysource.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zt::ui {

namespace {
QString Tr(zt::Msg id) { return QString::fromUtf8(zt::MessageText(id)); }
} // namespace

CCredentialsDialog::CCredentialsDialog(const QString& document, bool newEncryption, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(document.isEmpty()
                       ? Tr(zt::Msg::CredentialsTitle)
                       : QString::fromUtf8(zt::FormatMessage(zt::Msg::CredentialsTitleFor, {document.toStdString()})));
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    repeat_ = new QLineEdit(this);
    repeat_->setObjectName(QStringLiteral("repeat"));
    repeat_->setEchoMode(QLineEdit::Password);
    repeat_->setEnabled(newEncryption);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Username"), name_);
    form->addRow(QStringLiteral("&Passwort"), password_);
    form->addRow(QStringLiteral("&Wiederholung"), repeat_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    // Enabled where certificates are allowed (SetKeySource).
    certificate_ = buttons->addButton(QStringLiteral("&Zertifikat"), QDialogButtonBox::ActionRole);
    certificate_->setObjectName(QStringLiteral("certificate"));
    certificate_->setEnabled(false);
    connect(certificate_, &QPushButton::clicked, this, &CCredentialsDialog::ChooseCertificate);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // The layout gives the fields their room; the width also leaves the
    // title readable beside the window manager's buttons.
    const int titleWidth = fontMetrics().horizontalAdvance(windowTitle()) + 160;
    setMinimumWidth(std::max(minimumSizeHint().width(), std::min(titleWidth, 640)));
    name_->setFocus();
}

void CCredentialsDialog::SetName(const QString& name) {
    name_->setText(name);
    if (!name.isEmpty()) password_->setFocus();
}

QString CCredentialsDialog::Name() const { return name_->text(); }
QString CCredentialsDialog::Password() const { return password_->text(); }

void CCredentialsDialog::ClearFields() {
    name_->clear();
    password_->clear();
    repeat_->clear();
}

void CCredentialsDialog::SetKeySource(CZTKeySourceHolder* holder, zt::Prompter* prompter, bool privateKey) {
    holder_ = holder;
    prompter_ = prompter;
    privateKey_ = privateKey;
    certificate_->setEnabled(holder_ && prompter_);
}

void CCredentialsDialog::ChooseCertificate() {
    if (!holder_ || !prompter_) return;
    if (!holder_->Choose(this, *prompter_, privateKey_)) return;
    certificateChosen_ = true;
    QDialog::accept();
}

void CCredentialsDialog::accept() {
    if (certificateChosen_) {
        QDialog::accept();
        return;
    }
    const bool complete = !name_->text().isEmpty() && !password_->text().isEmpty() &&
                          (!repeat_->isEnabled() || repeat_->text() == password_->text());
    if (!complete) {
        QMessageBox::information(this, windowTitle(), Tr(zt::Msg::CredentialsIncomplete));
        return;
    }
    QDialog::accept();
}

} // namespace zt::ui
