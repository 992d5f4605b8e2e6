#include "ui/encryptiondialog.h"

#include "base/messages.h"
#include "base/prompter.h"
#include "core/archive.h"
#include "core/document.h"
#include "security/keyring.h"
#include "security/securebytes.h"
#include "ui/commands.h"
#include "ui/credentialsdialog.h"
#include "ui/mainframe.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace zt::ui {

namespace {

std::string Utf8(const QLineEdit* e) {
    QByteArray b = e->text().toUtf8();
    std::string s(b.constData(), size_t(b.size()));
    b.fill('\0');
    return s;
}

zt::CZtCredentials Credentials(const QLineEdit* name, const QLineEdit* password, zt::CZtKeyObject* key) {
    std::string n = Utf8(name), p = Utf8(password);
    zt::CZtCredentials c = CredentialsFromUtf8(n, p);
    zt::WipeString(n);
    zt::WipeString(p);
    c.keyObject = key;
    return c;
}

QLineEdit* Field(QWidget* parent, const char* name, bool secret) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (secret) e->setEchoMode(QLineEdit::Password);
    return e;
}

void Wipe(zt::CZtCredentials& c) {
    zt::WipeString(c.name);
    zt::WipeString(c.password);
}

} // namespace

CEncryptionDialog::CEncryptionDialog(zt::Prompter& prompter, bool certificates, QWidget* parent)
    : QDialog(parent), prompter_(prompter), certificates_(certificates) {
    setWindowTitle(QStringLiteral("Ver- und Entschlüsseln"));
    oldName_ = Field(this, "oldName", false);
    oldPassword_ = Field(this, "oldPassword", true);
    newName_ = Field(this, "newName", false);
    newPassword_ = Field(this, "newPassword", true);
    newRepeat_ = Field(this, "newRepeat", true);
    oldCertificate_ = new QPushButton(QStringLiteral("&Zertifikat"), this);
    oldCertificate_->setObjectName(QStringLiteral("oldCertificate"));
    newCertificate_ = new QPushButton(QStringLiteral("Z&ertifikat"), this);
    newCertificate_->setObjectName(QStringLiteral("newCertificate"));
    oldSubject_ = new QLabel(this);
    oldSubject_->setObjectName(QStringLiteral("oldSubject"));
    newSubject_ = new QLabel(this);
    newSubject_->setObjectName(QStringLiteral("newSubject"));
    removeAll_ = new QCheckBox(QStringLiteral("&Gesamte Verschlüsselung entfernen"), this);
    removeAll_->setObjectName(QStringLiteral("removeAll"));
    change_ = new QRadioButton(QStringLiteral("Name ä&ndern"), this);
    change_->setObjectName(QStringLiteral("change"));
    add_ = new QRadioButton(QStringLiteral("Name &hinzufügen"), this);
    add_->setObjectName(QStringLiteral("add"));
    remove_ = new QRadioButton(QStringLiteral("Name &löschen"), this);
    remove_->setObjectName(QStringLiteral("remove"));
    change_->setChecked(true);

    auto* oldGroup = new QGroupBox(QStringLiteral("Bisherige Name / Passwort Kombination"), this);
    auto* oldForm = new QFormLayout(oldGroup);
    oldForm->addRow(QStringLiteral("Name"), oldName_);
    oldForm->addRow(QStringLiteral("Passwort"), oldPassword_);
    auto* oldRow = new QHBoxLayout;
    oldRow->addWidget(oldCertificate_);
    oldRow->addWidget(oldSubject_, 1);
    oldForm->addRow(oldRow);
    oldForm->addRow(removeAll_);

    auto* newGroup = new QGroupBox(QStringLiteral("Neue Name / Passwort Kombination"), this);
    auto* newForm = new QFormLayout(newGroup);
    newForm->addRow(QStringLiteral("Name"), newName_);
    newForm->addRow(QStringLiteral("Passwort"), newPassword_);
    newForm->addRow(QStringLiteral("Wiederholung"), newRepeat_);
    auto* newRow = new QHBoxLayout;
    newRow->addWidget(newCertificate_);
    newRow->addWidget(newSubject_, 1);
    newForm->addRow(newRow);
    auto* radios = new QHBoxLayout;
    radios->addWidget(change_);
    radios->addWidget(add_);
    radios->addWidget(remove_);
    newForm->addRow(radios);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(oldCertificate_, &QPushButton::clicked, this, &CEncryptionDialog::ChooseOldCertificate);
    connect(newCertificate_, &QPushButton::clicked, this, &CEncryptionDialog::ChooseNewCertificate);
    connect(remove_, &QRadioButton::toggled, this, &CEncryptionDialog::UpdateEnabled);
    connect(removeAll_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) remove_->setChecked(true);
        UpdateEnabled();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(oldGroup);
    layout->addWidget(newGroup);
    layout->addWidget(buttons);
    UpdateEnabled();
    oldName_->setFocus();
}

CEncryptionDialog::~CEncryptionDialog() { ClearFields(); }

void CEncryptionDialog::UpdateEnabled() {
    const bool all = removeAll_->isChecked();
    oldCertificate_->setEnabled(certificates_);
    for (QWidget* w : std::initializer_list<QWidget*>{newName_, change_, add_, remove_}) w->setEnabled(!all);
    newCertificate_->setEnabled(certificates_ && !all);
    newPassword_->setEnabled(!all && !remove_->isChecked());
    newRepeat_->setEnabled(!all && !remove_->isChecked());
}

CEncryptionDialog::Action CEncryptionDialog::ChosenAction() const {
    return remove_->isChecked() ? Action::Remove : add_->isChecked() ? Action::Add : Action::Change;
}
bool CEncryptionDialog::RemoveAll() const { return removeAll_->isChecked(); }

zt::CZtCredentials CEncryptionDialog::OldCredentials() const {
    return Credentials(oldName_, oldPassword_, oldKeys_.KeyObject());
}
zt::CZtCredentials CEncryptionDialog::NewCredentials() const {
    return Credentials(newName_, newPassword_, newKeys_.KeyObject());
}

void CEncryptionDialog::ClearFields() {
    for (QLineEdit* e : {oldName_, oldPassword_, newName_, newPassword_, newRepeat_}) e->clear();
    oldKeys_.Release();
    newKeys_.Release();
    oldSubject_->clear();
    newSubject_->clear();
}

// The present credentials must decrypt; the new ones only receive a block.
void CEncryptionDialog::ChooseOldCertificate() {
    if (oldKeys_.Choose(this, prompter_, true)) oldSubject_->setText(oldKeys_.Subject());
    else oldSubject_->clear();
}

void CEncryptionDialog::ChooseNewCertificate() {
    if (newKeys_.Choose(this, prompter_, false)) newSubject_->setText(newKeys_.Subject());
    else newSubject_->clear();
}

void CEncryptionDialog::accept() {
    if ((oldName_->text().isEmpty() || oldPassword_->text().isEmpty()) && !oldKeys_.KeyObject()) {
        prompter_.Message(zt::MessageText(zt::Msg::CredentialsIncomplete), zt::Prompter::Icon::Warning);
        return;
    }
    if (removeAll_->isChecked()) {
        for (QLineEdit* e : {newName_, newPassword_, newRepeat_}) e->clear();
        newKeys_.Release();
        QDialog::accept();
        return;
    }
    const bool removing = remove_->isChecked();
    const bool complete = !newName_->text().isEmpty() &&
                          (removing || (!newPassword_->text().isEmpty() && newPassword_->text() == newRepeat_->text()));
    const bool partly = !newName_->text().isEmpty() || !newPassword_->text().isEmpty() || !newRepeat_->text().isEmpty();
    if (!complete && partly && !newKeys_.KeyObject()) {
        prompter_.Message(zt::MessageText(zt::Msg::CredentialsIncomplete), zt::Prompter::Icon::Warning);
        return;
    }
    QDialog::accept();
}

// ---- the command

bool CZTEncryptionUi::Handles(int id) const { return id == ID_ENCRYPTION; }

bool CZTEncryptionUi::IsEnabled(int id) const {
    // A locked document is not open at all; the command edits what is open.
    return id == ID_ENCRYPTION && frame_.IsEditable() &&
           frame_.Document().Archive().KeyRing().State() != zt::CZtKeyRing::kLocked;
}

void CZTEncryptionUi::Execute(int id) {
    if (!IsEnabled(id)) return;
    if (frame_.Document().Archive().IsEncrypted()) EditEncryption();
    else CreateEncryption();
}

void CZTEncryptionUi::CreateEncryption() {
    zt::Prompter& prompter = frame_.CurrentPrompter();
    QApplication::restoreOverrideCursor();
    const QString path = frame_.DocumentPath();
    CCredentialsDialog dialog(path.isEmpty() ? QString() : QFileInfo(path).fileName(), true, &frame_);
    CZTKeySourceHolder keys;
    dialog.SetKeySource(&keys, &prompter, false);
    if (dialog.exec() != QDialog::Accepted) return;
    zt::CZtCredentials credentials;
    if (dialog.CertificateChosen()) {
        credentials.keyObject = keys.KeyObject();
    } else {
        QByteArray name = dialog.Name().toUtf8(), password = dialog.Password().toUtf8();
        credentials = CredentialsFromUtf8(std::string_view(name.constData(), size_t(name.size())),
                                          std::string_view(password.constData(), size_t(password.size())));
        name.fill('\0');
        password.fill('\0');
    }
    dialog.ClearFields();
    zt::CZtKeyRing& ring = frame_.Document().Archive().KeyRing();
    const bool ok = ring.CreateEncryption(credentials);
    Wipe(credentials);
    if (!ok) {
        // A certificate whose key the document scheme cannot use; a failing
        // random source was told by the ring.
        if (credentials.keyObject)
            prompter.Message(zt::MessageText(zt::Msg::KeyFileNoCertificate), zt::Prompter::Icon::Warning);
        return;
    }
    frame_.Document().SetModified();
    prompter.Status(zt::MessageText(zt::Msg::EncryptionCreated));
}

void CZTEncryptionUi::EditEncryption() {
    zt::Prompter& prompter = frame_.CurrentPrompter();
    zt::CZtKeyRing& ring = frame_.Document().Archive().KeyRing();
    QApplication::restoreOverrideCursor();
    // After a failure the dialog opens again, empty.
    for (;;) {
        CEncryptionDialog dialog(prompter, true, &frame_);
        if (dialog.exec() != QDialog::Accepted) return;
        zt::CZtCredentials old = dialog.OldCredentials(), fresh = dialog.NewCredentials();
        bool ok = false, removedAll = false;
        if (dialog.RemoveAll()) {
            ok = ring.RemoveEncryption(old);
            removedAll = true;
        } else {
            switch (dialog.ChosenAction()) {
            case CEncryptionDialog::Action::Change: ok = ring.ChangeCredentials(old, fresh); break;
            case CEncryptionDialog::Action::Add: ok = ring.AddCredentials(old, fresh); break;
            case CEncryptionDialog::Action::Remove:
                // An empty name without a certificate removes all encryption.
                if (fresh.name.empty() && !fresh.keyObject) {
                    ok = ring.RemoveEncryption(old);
                    removedAll = true;
                } else {
                    ok = ring.RemoveCredentials(old, fresh);
                }
                break;
            }
        }
        Wipe(old);
        Wipe(fresh);
        dialog.ClearFields();
        if (ok) {
            frame_.Document().SetModified();
            prompter.Status(zt::MessageText(removedAll ? zt::Msg::EncryptionRemoved : zt::Msg::EncryptionChanged));
            return;
        }
        prompter.Message(zt::MessageText(zt::Msg::CredentialsRefused), zt::Prompter::Icon::Warning);
    }
}

} // namespace zt::ui
