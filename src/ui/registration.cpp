#include "ui/registration.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "ui/icons.h"

namespace zt::ui {

namespace {

const char* const kMimeXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "  <mime-type type=\"application/x-zettrix\">\n"
    "    <comment>Zettrix Dokument</comment>\n"
    "    <comment xml:lang=\"de\">Zettrix Dokument</comment>\n"
    "    <icon name=\"zettrix\"/>\n"
    "    <glob pattern=\"*.ztd\"/>\n"
    "  </mime-type>\n"
    "</mime-info>\n";

bool WriteFile(const QString& path, const QByteArray& data, QString* error) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        if (error) *error = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

// Quotes an Exec argument of a desktop entry.
QString DesktopQuote(const QString& s) {
    QString q = s;
    q.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    q.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    q.replace(QLatin1Char('`'), QStringLiteral("\\`"));
    q.replace(QLatin1Char('$'), QStringLiteral("\\$"));
    q.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

void Refresh(const QString& data) {
    // The caches are a convenience; a missing tool changes nothing.
    QProcess::execute(QStringLiteral("update-mime-database"), {data + QStringLiteral("/mime")});
    QProcess::execute(QStringLiteral("update-desktop-database"), {data + QStringLiteral("/applications")});
}

} // namespace

QString UserDataDirectory() {
    QByteArray env = qgetenv("XDG_DATA_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(QFile::decodeName(env))) return QFile::decodeName(env);
    return QDir::homePath() + QStringLiteral("/.local/share");
}

bool RegisterDocumentType(const QString& program, QString* error) {
    const QString data = UserDataDirectory();
    const QString desktop = QStringLiteral(
                                "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Zettrix\n"
                                "GenericName=Notizen\n"
                                "Comment=Notizen und Dokumente in einem Baum von Seiten\n"
                                "Exec=%1 %f\n"
                                "Icon=zettrix\n"
                                "Terminal=false\n"
                                "MimeType=application/x-zettrix;\n"
                                "Categories=Office;Utility;\n")
                                .arg(DesktopQuote(program));
    if (!WriteFile(data + QStringLiteral("/applications/zettrix.desktop"), desktop.toUtf8(), error)) return false;
    if (!WriteFile(data + QStringLiteral("/mime/packages/zettrix.xml"), kMimeXml, error)) return false;
    const QString iconPath = data + QStringLiteral("/icons/hicolor/64x64/apps/zettrix.png");
    QDir().mkpath(QFileInfo(iconPath).absolutePath());
    AppIcon().pixmap(64, 64).save(iconPath, "PNG");
    Refresh(data);
    return true;
}

bool UnregisterDocumentType(QString* error) {
    const QString data = UserDataDirectory();
    bool ok = true;
    for (const QString& rel : {QStringLiteral("/applications/zettrix.desktop"),
                               QStringLiteral("/mime/packages/zettrix.xml"),
                               QStringLiteral("/icons/hicolor/64x64/apps/zettrix.png")}) {
        QFile f(data + rel);
        if (f.exists() && !f.remove()) {
            ok = false;
            if (error) *error = f.fileName() + QStringLiteral(": ") + f.errorString();
        }
    }
    Refresh(data);
    return ok;
}

} // namespace zt::ui
