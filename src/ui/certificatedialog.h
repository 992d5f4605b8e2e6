// The certificate viewer: what a user needs to judge an X.509 certificate
// (subject, issuer, serial number, validity, key algorithm and size, key
// usage, SHA-1 and SHA-256 fingerprints), shown from its DER bytes. Serves the
// certificate choice of the key sources ("Ansehen") and a server's TLS
// certificate alike.
#pragma once

#include <QByteArray>
#include <QDialog>

class QFormLayout;

namespace zt::ui {

class CCertificateDialog : public QDialog {
    Q_OBJECT
public:
    // `der`: the certificate's DER bytes. Bytes that are no certificate give a
    // dialog that says so (Valid() is false).
    explicit CCertificateDialog(const QByteArray& der, QWidget* parent = nullptr);

    bool Valid() const { return valid_; }
    // The text shown for a row ("Inhaber", "Aussteller", "Seriennummer",
    // "Gültig ab", "Gültig bis", "Schlüssel", "Signatur", "Verwendung",
    // "SHA-1", "SHA-256"); empty when the row is not there.
    QString Field(const QString& label) const;

private:
    bool valid_ = false;
    QFormLayout* form_ = nullptr;
};

} // namespace zt::ui
