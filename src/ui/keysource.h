// The key source holder of a credentials slot: the key file or PKCS#11
// driver the user chose for it, with the certificate (key object) taken from
// it. `Choose` runs the whole road of the "Zertifikat" buttons: the key file
// choice, then `ChooseKeyObject` (the file's password or the driver and its
// tokens, the certificate choice, the token's PIN when the private key is
// needed). The key object lives as long as the holder; Release (or the
// holder's end) logs out, closes the sessions and unloads the driver, or
// wipes the key file's bytes.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace zt {
class CZtKeyObject;
class CZtPkcs11Source;
class CZtPkcs12Source;
class Prompter;
} // namespace zt

namespace zt::ui {

class CZTKeySourceHolder {
public:
    CZTKeySourceHolder();
    ~CZTKeySourceHolder();
    CZTKeySourceHolder(const CZTKeySourceHolder&) = delete;
    CZTKeySourceHolder& operator=(const CZTKeySourceHolder&) = delete;

    // The key file choice and the key source of the file chosen. `privateKey`:
    // the certificate will decrypt (opening, proving the present credentials),
    // so a token that needs a login asks for its PIN; a certificate that only
    // receives a new key block needs its public key alone.
    zt::CZtKeyObject* Choose(QWidget* parent, zt::Prompter& prompter, bool privateKey);
    // The key source of `path` (a PKCS#11 driver when `pkcs11`); nullptr
    // after the message of what failed, or when the user cancelled.
    zt::CZtKeyObject* ChooseKeyObject(QWidget* parent, zt::Prompter& prompter, bool pkcs11, const QString& path,
                                      bool privateKey);

    zt::CZtKeyObject* KeyObject() const { return key_; }
    // The chosen certificate's subject text.
    QString Subject() const { return subject_; }
    void Release();

    // How long a driver call may take (30 s unless tests set it).
    static int callTimeoutMs;

    // The key file list of the settings (section "P11P12", "File0", ...).
    static QStringList LoadKeyFileList();
    static void SaveKeyFileList(const QStringList& files);

private:
    zt::CZtKeyObject* FromPkcs12(QWidget* parent, zt::Prompter& prompter, const QString& path);
    zt::CZtKeyObject* FromPkcs11(QWidget* parent, zt::Prompter& prompter, const QString& path, bool privateKey);

    std::unique_ptr<zt::CZtPkcs12Source> p12_;
    std::unique_ptr<zt::CZtPkcs11Source> p11_;
    zt::CZtKeyObject* key_ = nullptr;
    QString subject_;
};

} // namespace zt::ui
