#include "ui/openwith.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace zt::ui {

namespace {

// The general escapes of desktop entry string values.
QString UnescapeValue(const QString& v) {
    QString out;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == u'\\' && i + 1 < v.size()) {
            const QChar c = v[++i];
            if (c == u's') out += u' ';
            else if (c == u'n') out += u'\n';
            else if (c == u't') out += u'\t';
            else if (c == u'r') out += u'\r';
            else out += c; // "\\" and unknown escapes keep the character
        } else {
            out += v[i];
        }
    }
    return out;
}

QStringList DataDirectories() {
    QStringList dirs;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty()) home = QDir::homePath() + QStringLiteral("/.local/share");
    dirs << home;
    QString rest = qEnvironmentVariable("XDG_DATA_DIRS");
    if (rest.isEmpty()) rest = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& d : rest.split(u':', Qt::SkipEmptyParts)) dirs << d;
    return dirs;
}

} // namespace

QStringList ExecArguments(const QString& execValue) {
    const QString exec = UnescapeValue(execValue);
    QStringList words;
    QString word;
    bool inWord = false, quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size() && QStringLiteral("\"`$\\").contains(exec[i + 1])) word += exec[++i];
            else if (c == u'"') quoted = false;
            else word += c;
        } else if (c == u'"') {
            quoted = inWord = true;
        } else if (c == u' ' || c == u'\t') {
            if (inWord) words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words << word;

    QStringList out;
    for (const QString& w : words) {
        QString kept;
        bool onlyCodes = true, hadCode = false;
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w[i] == u'%' && i + 1 < w.size()) {
                const QChar code = w[++i];
                if (code == u'%') {
                    kept += u'%';
                    onlyCodes = false;
                } else {
                    hadCode = true; // %f %F %u %U %i %c %k %d %D %n %N %v %m: the file goes last
                }
            } else {
                kept += w[i];
                onlyCodes = false;
            }
        }
        if (hadCode && onlyCodes) continue;
        out << kept;
    }
    return out;
}

QString JoinCommand(const QStringList& words) {
    QStringList parts;
    for (QString w : words) {
        if (w.isEmpty() || w.contains(u' ') || w.contains(u'\t') || w.contains(u'"')) {
            w.replace(QStringLiteral("\""), QStringLiteral("\"\"\""));
            w = u'"' + w + u'"';
        }
        parts << w;
    }
    return parts.join(u' ');
}

QString FindDesktopFile(const QString& desktopId) {
    if (desktopId.isEmpty() || desktopId.contains(u'/') || desktopId.startsWith(u'.')) return {};
    QStringList candidates{desktopId};
    // "vendor-app.desktop" may live as "vendor/app.desktop".
    QString sub = desktopId;
    for (qsizetype at = sub.indexOf(u'-'); at >= 0; at = sub.indexOf(u'-', at + 1)) {
        QString c = sub;
        c[at] = u'/';
        candidates << c;
    }
    for (const QString& dir : DataDirectories()) {
        for (const QString& c : candidates) {
            const QString path = dir + QStringLiteral("/applications/") + c;
            if (QFileInfo(path).isFile()) return path;
        }
    }
    return {};
}

QString DesktopExec(const QString& desktopFile) {
    QFile f(desktopFile);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 1 << 20) return {};
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inEntry) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == QStringLiteral("Exec")) return line.mid(eq + 1).trimmed();
    }
    return {};
}

CZTAssociation FindAssociation(const QString& file) {
    CZTAssociation a;
    QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(file);
    a.mimeType = type.name();
    for (const char* exe : {"application/x-executable", "application/x-pie-executable", "application/x-sharedlib",
                            "application/x-shellscript"}) {
        if (type.inherits(QString::fromLatin1(exe)) &&
            !(type.inherits(QStringLiteral("application/x-sharedlib")) && file.endsWith(QStringLiteral(".so")))) {
            a.executable = true;
            a.command = JoinCommand({file});
            return a;
        }
    }
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty()) return a;
    QProcess query;
    query.start(tool, {QStringLiteral("query"), QStringLiteral("default"), a.mimeType});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return a;
    }
    const QString id = QString::fromUtf8(query.readAllStandardOutput()).trimmed().section(u'\n', 0, 0).trimmed();
    const QString desktop = FindDesktopFile(id);
    if (desktop.isEmpty()) return a;
    a.command = JoinCommand(ExecArguments(DesktopExec(desktop)));
    return a;
}

} // namespace zt::ui
