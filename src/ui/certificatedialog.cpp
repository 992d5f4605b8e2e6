#include "ui/certificatedialog.h"

#include "security/certdetails.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zt::ui {

namespace {

QString U(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Fingerprints in two lines of hex pairs, so the dialog stays narrow.
QString Wrapped(const std::string& hex) {
    QString s = U(hex);
    const qsizetype half = (s.size() / 3 / 2) * 3;
    if (s.size() > 60 && half > 0) s.insert(half, QLatin1Char('\n'));
    return s;
}

} // namespace

CCertificateDialog::CCertificateDialog(const QByteArray& der, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Zertifikat"));
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    layout->addLayout(form_);
    auto details = zt::ReadCertificateDetails(std::string_view(der.constData(), size_t(der.size())));
    valid_ = details.has_value();
    auto row = [this](const QString& label, const QString& text, bool mono = false) {
        auto* value = new QLabel(text, this);
        value->setObjectName(label);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setWordWrap(!mono);
        if (mono) value->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        form_->addRow(label + QLatin1Char(':'), value);
    };
    if (!details) {
        row(QStringLiteral("Fehler"), QStringLiteral("Die Daten sind kein lesbares X.509-Zertifikat."));
    } else {
        const auto& d = *details;
        row(QStringLiteral("Inhaber"), U(d.subject));
        row(QStringLiteral("Aussteller"), U(d.issuer));
        row(QStringLiteral("Seriennummer"), U(d.serial), true);
        row(QStringLiteral("Gültig ab"), U(d.notBefore));
        row(QStringLiteral("Gültig bis"), U(d.notAfter));
        QString key = U(d.keyAlgorithm);
        if (d.keyBits) key += QStringLiteral(", %1 Bit").arg(d.keyBits);
        if (!d.curve.empty()) key += QStringLiteral(" (%1)").arg(U(d.curve));
        row(QStringLiteral("Schlüssel"), key);
        row(QStringLiteral("Signatur"), U(d.signatureAlgorithm));
        QStringList usage;
        for (const auto& u : d.keyUsage) usage << U(u);
        row(QStringLiteral("Verwendung"),
            d.hasKeyUsage ? usage.join(QStringLiteral(", ")) : QStringLiteral("nicht eingeschränkt"));
        row(QStringLiteral("SHA-1"), Wrapped(d.sha1), true);
        row(QStringLiteral("SHA-256"), Wrapped(d.sha256), true);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Schließen"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString CCertificateDialog::Field(const QString& label) const {
    auto* value = findChild<QLabel*>(label);
    return value ? value->text() : QString();
}

} // namespace zt::ui
