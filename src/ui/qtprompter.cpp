#include "ui/qtprompter.h"

#include "ui/credentialsdialog.h"
#include "ui/keysource.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace zt::ui {

namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QMessageBox::Icon BoxIcon(Prompter::Icon icon) {
    switch (icon) {
    case Prompter::Icon::Information: return QMessageBox::Information;
    case Prompter::Icon::Warning: return QMessageBox::Warning;
    case Prompter::Icon::Question: return QMessageBox::Question;
    case Prompter::Icon::Error: break;
    }
    return QMessageBox::Critical;
}

// A message box with German button texts whatever translations are loaded.
int Ask(QWidget* parent, QMessageBox::Icon icon, std::string_view text, QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton def) {
    QMessageBox box(icon, QStringLiteral("Zettrix"), Text(text), buttons, parent);
    box.setDefaultButton(def);
    if (auto* b = box.button(QMessageBox::Yes)) b->setText(QStringLiteral("&Ja"));
    if (auto* b = box.button(QMessageBox::No)) b->setText(QStringLiteral("&Nein"));
    if (auto* b = box.button(QMessageBox::Cancel)) b->setText(QStringLiteral("Abbrechen"));
    if (auto* b = box.button(QMessageBox::Ok)) b->setText(QStringLiteral("OK"));
    QApplication::restoreOverrideCursor();
    return box.exec();
}

} // namespace

CZTQtPrompter::CZTQtPrompter(QWidget* parent) : parent_(parent) {}
CZTQtPrompter::~CZTQtPrompter() = default;

CZtKeyObject* CZTQtPrompter::ChosenKeyObject() { return keyChosen_ && keys_ ? keys_->KeyObject() : nullptr; }

void CZTQtPrompter::ReleaseKeySource() {
    keyChosen_ = false;
    keys_.reset();
}

void CZTQtPrompter::Message(std::string_view text, Icon icon) {
    Ask(parent_, BoxIcon(icon), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool CZTQtPrompter::AskYesNo(std::string_view text) {
    return Ask(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

bool CZTQtPrompter::AskOkCancel(std::string_view text) {
    return Ask(parent_, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) ==
           QMessageBox::Ok;
}

Prompter::Answer CZTQtPrompter::AskYesNoCancel(std::string_view text) {
    int r = Ask(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                QMessageBox::Yes);
    if (r == QMessageBox::Yes) return Answer::Yes;
    if (r == QMessageBox::No) return Answer::No;
    return Answer::Cancel;
}

bool CZTQtPrompter::AskCredentials(const CredentialsQuestion& question, std::string& name, std::string& password) {
    QApplication::restoreOverrideCursor();
    // The certificate of an earlier question is let go.
    ReleaseKeySource();
    CCredentialsDialog dialog(Text(question.document), question.newEncryption, parent_);
    if (question.certificates) {
        keys_ = std::make_unique<CZTKeySourceHolder>();
        dialog.SetKeySource(keys_.get(), this, !question.newEncryption);
    }
    // After a failed attempt the name stays; only the password is asked again.
    if (question.attempt > 1) dialog.SetName(QString::fromStdString(lastName_));
    const bool ok = dialog.exec() == QDialog::Accepted;
    keyChosen_ = ok && dialog.CertificateChosen();
    if (keyChosen_) {
        name.clear();
        password.clear();
    } else if (ok) {
        name = dialog.Name().toStdString();
        lastName_ = name;
        password = dialog.Password().toStdString();
    }
    dialog.ClearFields();
    return ok;
}

void CZTQtPrompter::Status(std::string_view text) {
    if (statusSink) statusSink(Text(text));
}

} // namespace zt::ui
