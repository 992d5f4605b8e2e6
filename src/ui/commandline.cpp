#include "ui/commandline.h"

#include <QFileInfo>

namespace zt::ui {

CZTCommandLine CZTCommandLine::Parse(const QStringList& args) {
    CZTCommandLine cl;
    QString* pendingValue = nullptr;
    QString pendingName;
    bool pendingSize = false;
    QString sizeText;
    for (const QString& arg : args) {
        bool isOption = arg.size() > 1 && (arg.startsWith(QLatin1Char('/')) || arg.startsWith(QLatin1Char('-')));
        // A path such as /home/user/Notes.ztd is a file, not an option: options
        // are single words.
        if (isOption && arg.startsWith(QLatin1Char('/')) &&
            (arg.indexOf(QLatin1Char('/'), 1) >= 0 || QFileInfo::exists(arg)))
            isOption = false;
        if (!isOption) {
            if (pendingValue) {
                *pendingValue = arg;
                pendingValue = nullptr;
            } else if (pendingSize) {
                sizeText = arg;
                pendingSize = false;
                bool ok = false;
                qint64 n = arg.toLongLong(&ok);
                if (ok && n >= 0)
                    cl.revisionSize = n;
                else
                    cl.errors << QStringLiteral("size: %1").arg(arg);
            } else if (cl.file.isEmpty()) {
                cl.file = arg;
            } else {
                cl.errors << arg;
            }
            continue;
        }
        if (pendingValue || pendingSize) {
            cl.errors << QStringLiteral("%1: ?").arg(pendingName);
            pendingValue = nullptr;
            pendingSize = false;
        }
        QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1).toLower();
        pendingName = name;
        if (name == QLatin1String("startmin")) {
            cl.startMode = Minimized;
        } else if (name == QLatin1String("register") || name == QLatin1String("regserver")) {
            cl.startMode = Register;
        } else if (name == QLatin1String("unregister") || name == QLatin1String("unregserver")) {
            cl.unregister = true;
        } else if (name == QLatin1String("empty")) {
            cl.startMode = Empty;
        } else if (name == QLatin1String("revision")) {
            cl.startMode = Empty;
            cl.revisionLabel = QLatin1String("");
            pendingValue = &cl.revisionLabel;
        } else if (name == QLatin1String("helpdocument")) {
            cl.startMode = Empty;
            cl.helpDocument = true;
        } else if (name == QLatin1String("title")) {
            pendingValue = &cl.revisionTitle;
        } else if (name == QLatin1String("size")) {
            pendingSize = true;
        } else if (name == QLatin1String("automation") || name == QLatin1String("embedding")) {
            cl.startMode = Empty;
            cl.automation = true;
        } else if (name == QLatin1String("quit")) {
            cl.quit = true;
        } else if (name == QLatin1String("js")) {
            pendingValue = &cl.script;
        } else if (name == QLatin1String("p") || name == QLatin1String("print")) {
            cl.printFile = true;
        } else if (name == QLatin1String("help") || name == QLatin1String("h") || name == QLatin1String("?")) {
            cl.help = true;
        } else {
            cl.errors << arg;
        }
    }
    if (pendingValue || pendingSize) cl.errors << QStringLiteral("%1: ?").arg(pendingName);
    return cl;
}

QString CZTCommandLine::Usage() {
    return QStringLiteral(
        "Aufruf: zettrix [Optionen] [Dokument.ztd]\n"
        "\n"
        "Optionen beginnen mit \"-\" oder \"/\":\n"
        "  startmin          versteckt starten, nur das Symbol im System-Tray\n"
        "  empty             mit einem neuen, leeren Dokument starten\n"
        "  register          den Dokumenttyp *.ztd beim Desktop anmelden und enden\n"
        "  unregister        die Anmeldung entfernen und enden\n"
        "  quit              nach dem Start das Fenster schließen\n"
        "  automation        versteckt für ein anderes Programm starten (D-Bus Dienst\n"
        "                    org.zettrix.Zettrix, Objekt /Application)\n"
        "  js LINK           ein Skript nach dem Start ausführen\n"
        "  revision L, title T, size N\n"
        "                    eine alte Version aus einer anderen Zettrix Instanz zeigen\n"
        "                    (die Daten kommen über die Standardeingabe)\n"
        "  help              diese Hilfe\n"
        "\n"
        "Ein Dokument, das eine andere Zettrix Instanz schon zeigt, wird dort in den\n"
        "Vordergrund geholt; ohne Dokument kommt eine laufende Instanz nach vorn.\n");
}

} // namespace zt::ui
