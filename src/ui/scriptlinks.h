// Scripts started from links in page texts and from the command line. A link
// names a script when it is a script address with a document part
// ("zt:/" or "ztf:/" + document + "?" or ";" + path), a "file:/" address of a
// ".js" file, or a "ztf:" link to an attached ".js" file. Such a script runs
// in the script console over the main window, but only after the user
// allowed scripts of this document: the question comes once per document,
// and the answer holds for the rest of the session. Scripts the user starts
// (console, command line) never ask.
#pragma once

#include <QString>

#include <string>
#include <string_view>

class CZTPageNode;
class CZTPageTree;

namespace zt::ui {

class CMainFrame;

// The script address a link text names (UTF-8), or "" when the link names no
// script. A "ztf:" link to an attached ".js" file becomes the address of that
// file in the open document; it names none when its page is not found.
std::string ScriptAddressOfLink(std::string_view utf8Text, const CZTPageTree& tree, const CZTPageNode* current);

// The script address of the command line's `js` value: an address as given,
// or a path of the file system (relative to the working directory).
QString ScriptAddressOfArgument(const QString& value);

// Follows a link that names a script: asks (once per document), then runs it.
// False when the link names no script; the caller then follows it as a
// page, file or address link.
bool RunScriptLink(CMainFrame& frame, const QString& linkText);

// Runs the script an address names without asking (the user started it);
// reports an address that cannot be read. False when nothing ran or the
// script failed.
bool RunScriptAddress(CMainFrame& frame, const QString& address);

} // namespace zt::ui
