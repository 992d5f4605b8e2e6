// Registering the document type with the desktop: a .desktop file for the
// program and a shared-mime-info type application/x-zettrix for *.ztd in the
// user's data directory ($XDG_DATA_HOME, else ~/.local/share).
#pragma once

#include <QString>

namespace zt::ui {

// Writes the files and refreshes the desktop's caches; false with `error`
// set when a file could not be written.
bool RegisterDocumentType(const QString& program, QString* error = nullptr);
// Removes the files again.
bool UnregisterDocumentType(QString* error = nullptr);

// The user's data directory.
QString UserDataDirectory();

} // namespace zt::ui
