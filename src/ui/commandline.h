// The program's command line. An argument that starts with "/" or "-" is an
// option, compared without case ("--help" and "--name" work as well); a plain
// argument after `revision`, `title`, `size` or `js` is that option's value,
// any other plain argument the document to open.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace zt::ui {

struct CZTCommandLine {
    enum StartMode { Normal = 0, Minimized = 1, Empty = 2, Register = 3 };

    int startMode = Normal;
    bool unregister = false;
    bool help = false;           // --help, -h, /?
    bool helpDocument = false;
    bool quit = false;
    bool automation = false;     // started for an automation client: hidden, no document, no tray icon
    QString file;
    QString revisionLabel;
    QString revisionTitle;
    qint64 revisionSize = -1;
    QString script;
    bool printFile = false;      // /p FILE: accepted, printing is not available
    QStringList errors;          // unknown options and missing values

    bool HasRevision() const { return !revisionLabel.isNull(); }

    // Parses the arguments after the program name.
    static CZTCommandLine Parse(const QStringList& args);
    // The usage text for --help.
    static QString Usage();
};

} // namespace zt::ui
