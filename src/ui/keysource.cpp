#include "ui/keysource.h"

#include "base/messages.h"
#include "base/prompter.h"
#include "security/keyobject.h"
#include "security/p11modules.h"
#include "security/pkcs11source.h"
#include "security/pkcs12source.h"
#include "security/securebytes.h"
#include "ui/keysourcedialogs.h"
#include "ui/settings.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSettings>

namespace zt::ui {

namespace {

QString U(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

void Tell(zt::Prompter& prompter, const std::string& text) { prompter.Message(text, zt::Prompter::Icon::Warning); }
void Tell(zt::Prompter& prompter, zt::Msg id) { Tell(prompter, zt::MessageText(id)); }

// With "P11P12KeyUsage" on, only certificates whose key may encipher.
bool KeyUsageFilter() {
    auto s = CZTSettings::Open();
    return s->value(QStringLiteral("Preferences/P11P12KeyUsage"), 0).toInt() != 0;
}

// The list of the certificate choice: RSA certificates (with the key usage
// filter) whose subject can be shown; a subject that cannot is told and left
// out.
template <class Get>
std::vector<CCertificateChoiceDialog::Entry> Offered(size_t count, Get certificate, zt::Prompter& prompter) {
    std::vector<CCertificateChoiceDialog::Entry> out;
    const bool usage = KeyUsageFilter();
    for (size_t i = 0; i < count; ++i) {
        const zt::CZtCertificateInfo& c = certificate(i);
        if (c.keyAlgorithm != zt::kOidRsaEncryption) continue;
        if (usage && !c.AllowsEncipherment()) continue;
        if (!c.subjectDecodable) {
            Tell(prompter, zt::Msg::CertificateNameUndecodable);
            continue;
        }
        out.push_back({U(c.subject), QByteArray(c.der.data(), qsizetype(c.der.size())), i});
    }
    return out;
}

// Keeps the window drawn while a driver call runs (no input is taken).
void KeepDrawn() { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20); }

} // namespace

int CZTKeySourceHolder::callTimeoutMs = 30000;

CZTKeySourceHolder::CZTKeySourceHolder() = default;
CZTKeySourceHolder::~CZTKeySourceHolder() { Release(); }

void CZTKeySourceHolder::Release() {
    key_ = nullptr;
    subject_.clear();
    if (p11_) p11_->Release();
    p11_.reset();
    if (p12_) p12_->Release();
    p12_.reset();
}

QStringList CZTKeySourceHolder::LoadKeyFileList() {
    auto s = CZTSettings::Open();
    s->beginGroup(QStringLiteral("P11P12"));
    QStringList files;
    for (int i = 0;; ++i) {
        const QString f = s->value(QStringLiteral("File%1").arg(i)).toString();
        if (f.isEmpty()) break;
        files << f;
    }
    return files;
}

void CZTKeySourceHolder::SaveKeyFileList(const QStringList& files) {
    auto s = CZTSettings::Open();
    s->beginGroup(QStringLiteral("P11P12"));
    int i = 0;
    for (const QString& f : files) s->setValue(QStringLiteral("File%1").arg(i++), f);
    s->setValue(QStringLiteral("File%1").arg(i), QString());
    // Values of a longer list written before go.
    for (++i; s->contains(QStringLiteral("File%1").arg(i)); ++i) s->remove(QStringLiteral("File%1").arg(i));
}

zt::CZtKeyObject* CZTKeySourceHolder::Choose(QWidget* parent, zt::Prompter& prompter, bool privateKey) {
    QApplication::restoreOverrideCursor();
    CKeyFileDialog dialog(LoadKeyFileList(), zt::ListP11KitModules(), prompter, parent);
    const bool ok = dialog.exec() == QDialog::Accepted;
    SaveKeyFileList(dialog.KeyFiles());
    if (!ok) return nullptr;
    return ChooseKeyObject(parent, prompter, dialog.IsPkcs11(), dialog.Path(), privateKey);
}

zt::CZtKeyObject* CZTKeySourceHolder::ChooseKeyObject(QWidget* parent, zt::Prompter& prompter, bool pkcs11,
                                                      const QString& path, bool privateKey) {
    Release();
    zt::CZtKeyObject* key = pkcs11 ? FromPkcs11(parent, prompter, path, privateKey) : FromPkcs12(parent, prompter, path);
    if (!key) Release();
    return key;
}

zt::CZtKeyObject* CZTKeySourceHolder::FromPkcs12(QWidget* parent, zt::Prompter& prompter, const QString& path) {
    using Result = zt::CZtPkcs12Source::Result;
    p12_ = std::make_unique<zt::CZtPkcs12Source>();
    Result r = p12_->LoadFile(QFile::encodeName(path).toStdString());
    if (r != Result::Ok) {
        Tell(prompter, zt::CZtPkcs12Source::Message(r));
        return nullptr;
    }
    CPasswordDialog ask(QFileInfo(path).fileName(), parent);
    if (ask.exec() != QDialog::Accepted) return nullptr;
    std::string password = ask.TakePassword();
    r = p12_->Open(password);
    zt::WipeString(password);
    if (r != Result::Ok) {
        Tell(prompter, zt::CZtPkcs12Source::Message(r));
        return nullptr;
    }
    auto offered = Offered(p12_->Count(), [this](size_t i) -> const zt::CZtCertificateInfo& {
        return p12_->Certificate(i);
    }, prompter);
    if (offered.empty()) {
        Tell(prompter, zt::Msg::KeyFileNoCertificate);
        return nullptr;
    }
    CCertificateChoiceDialog choice(std::move(offered), prompter, parent);
    if (choice.exec() != QDialog::Accepted) {
        Tell(prompter, zt::Msg::KeyFileNoCertificate);
        return nullptr;
    }
    key_ = p12_->KeyObject(choice.Chosen());
    subject_ = U(p12_->Certificate(choice.Chosen()).subject);
    return key_;
}

zt::CZtKeyObject* CZTKeySourceHolder::FromPkcs11(QWidget* parent, zt::Prompter& prompter, const QString& path,
                                                 bool privateKey) {
    p11_ = std::make_unique<zt::CZtPkcs11Source>();
    p11_->SetCallTimeout(std::chrono::milliseconds(callTimeoutMs));
    p11_->SetWaitHook(KeepDrawn);
    const std::string file = QFile::encodeName(path).toStdString();
    prompter.Status(zt::FormatMessage(zt::Msg::Pkcs11Waiting, {path.toStdString()}));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool loaded = p11_->Load(file);
    const bool listed = loaded && p11_->ListCertificates();
    QApplication::restoreOverrideCursor();
    prompter.Status("");
    if (!loaded || !listed) {
        Tell(prompter, p11_->FailureText());
        return nullptr;
    }
    auto offered = Offered(p11_->Count(), [this](size_t i) -> const zt::CZtCertificateInfo& {
        return p11_->Certificate(i).certificate;
    }, prompter);
    if (offered.empty()) {
        Tell(prompter, p11_->Count() ? zt::Msg::NoTokenChosen : zt::Msg::KeySourceNoTokens);
        return nullptr;
    }
    // The token's label helps to tell certificates of several tokens apart.
    for (auto& e : offered) {
        const auto& entry = p11_->Certificate(e.index);
        if (!entry.tokenLabel.empty()) e.text += QStringLiteral(" [%1]").arg(U(entry.tokenLabel));
    }
    CCertificateChoiceDialog choice(std::move(offered), prompter, parent);
    if (choice.exec() != QDialog::Accepted) {
        Tell(prompter, zt::Msg::NoTokenChosen);
        return nullptr;
    }
    const size_t chosen = choice.Chosen();
    const auto& entry = p11_->Certificate(chosen);
    if (privateKey && entry.loginRequired) {
        QString what = QStringLiteral("PIN des Tokens");
        if (!entry.tokenLabel.empty()) what += QStringLiteral(" '%1'").arg(U(entry.tokenLabel));
        CPasswordDialog ask(what, parent);
        if (ask.exec() != QDialog::Accepted) return nullptr;
        std::string pin = ask.TakePassword();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool ok = p11_->Login(chosen, pin);
        QApplication::restoreOverrideCursor();
        zt::WipeString(pin);
        if (!ok) {
            if (p11_->TimedOut()) Tell(prompter, p11_->FailureText());
            else Tell(prompter, p11_->PinLocked() ? zt::Msg::Pkcs11PinLocked : zt::Msg::KeyFileWrongPassword);
            return nullptr;
        }
    }
    key_ = p11_->KeyObject(chosen);
    subject_ = U(entry.certificate.subject);
    return key_;
}

} // namespace zt::ui
