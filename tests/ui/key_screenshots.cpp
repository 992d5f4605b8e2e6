// Pictures of the key file dialog, the certificate choice and the certificate
// viewer: ui_key_screenshots OUTDIR (run under Xvfb, see scripts/screenshots.sh).
// The certificate is made for the picture with the openssl command line.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "base/prompter.h"
#include "security/p11modules.h"
#include "ui/certificatedialog.h"
#include "ui/keysourcedialogs.h"

using namespace zt::ui;

namespace {

QByteArray MakeCertificate(const QString& dir) {
    const QString der = dir + QStringLiteral("/cert.der");
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
             QStringLiteral("-nodes"), QStringLiteral("-keyout"), dir + QStringLiteral("/key.pem"),
             QStringLiteral("-subj"), QStringLiteral("/CN=Erika Mustermann/O=Beispiel GmbH/C=DE"),
             QStringLiteral("-days"), QStringLiteral("730"), QStringLiteral("-outform"), QStringLiteral("DER"),
             QStringLiteral("-out"), der});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    QFile f(der);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Shows `d`, saves its picture after it is laid out and closes it.
bool Grab(QDialog& d, const QString& file) {
    bool ok = false;
    QTimer::singleShot(500, &d, [&] {
        ok = d.grab().save(file);
        d.reject();
    });
    d.exec();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 1;
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir tmp;
    const QByteArray der = MakeCertificate(tmp.path());
    if (der.isEmpty()) return 2;
    zt::SilentPrompter prompter;
    bool ok = true;

    QFile(tmp.path() + QStringLiteral("/Erika.p12")).open(QIODevice::WriteOnly);
    const std::vector<zt::CZtP11Module> modules = zt::ListP11KitModules();
    CKeyFileDialog files({tmp.path() + QStringLiteral("/Erika.p12")}, modules, prompter);
    ok &= Grab(files, out + QStringLiteral("/key-file-dialog.png"));

    CCertificateChoiceDialog choice({{QStringLiteral("Erika Mustermann, Beispiel GmbH"), der, 0},
                                     {QStringLiteral("Erika Mustermann (Signatur)"), der, 1}},
                                    prompter);
    ok &= Grab(choice, out + QStringLiteral("/certificate-choice.png"));

    CCertificateDialog viewer(der);
    ok &= Grab(viewer, out + QStringLiteral("/certificate-viewer.png"));
    return ok ? 0 : 3;
}
