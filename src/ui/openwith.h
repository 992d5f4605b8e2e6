// The program that opens a file: the default application of the file's type
// as the desktop registers it (xdg-mime and .desktop files), and the command
// lines the "Frage..." dialog shows and runs.
#pragma once

#include <QString>
#include <QStringList>

namespace zt::ui {

// The words of a desktop entry's Exec value, unquoted, with the field codes
// (%f %F %u %U %i %c %k and the deprecated ones) dropped and "%%" as "%".
QStringList ExecArguments(const QString& exec);

// Joins words into one command line that QProcess::splitCommand takes apart
// again (words with blanks or quotes in double quotes, a quote as three).
QString JoinCommand(const QStringList& words);

// The desktop file for a desktop file id: $XDG_DATA_HOME/applications, then
// each of $XDG_DATA_DIRS + /applications (a "-" in the id may stand for a
// sub-directory). Empty when there is none.
QString FindDesktopFile(const QString& desktopId);

// The Exec value of the [Desktop Entry] group; empty when missing.
QString DesktopExec(const QString& desktopFile);

struct CZTAssociation {
    QString command;         // program with its own arguments, the file not included
    bool executable = false; // the file is a program itself: run it, no file argument
    QString mimeType;
};

// The default program for a file: its MIME type (by name and content), then
// `xdg-mime query default TYPE` and the .desktop file it names. The command
// is empty when nothing is registered.
CZTAssociation FindAssociation(const QString& file);

} // namespace zt::ui
