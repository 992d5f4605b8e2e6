// Addresses of pages and attached files in document files, and of files of
// the file system, as scripts name the code they load:
//   "zt:/" + document + "?" (or ";") + page path          the page's text as plain text
//   "ztf:/" + document + "?" (or ";") + page path + "/" + file name   the file's content
//   "file:/" + path                                      a file of the file system
// The document part is URL-decoded and names a document file ("/" is put
// before it unless it starts with one, so "zt:/home/me/a.ztd?/P" names
// /home/me/a.ztd). An empty document part, or one naming the open document,
// means the open document; any other document file is read on its own, never
// changed. Page paths are link paths from the root; file names are
// URL-encoded.
#pragma once

#include "exchange/rtfhtml/rtfconverter.h"

#include <string>
#include <string_view>

class CZTDocument;

namespace zt {

class Prompter;

struct AddressContext {
    // The open document, or null. The caller stores the page being edited
    // before asking, so that the store has its current text.
    CZTDocument* openDocument = nullptr;
    // Asked for the name and password of an encrypted document; null: such
    // documents do not open.
    Prompter* prompter = nullptr;
    // The form of page texts.
    RtfTextMode textMode = RtfTextMode::Utf8;
};

struct AddressResult {
    bool ok = false;
    std::string content; // the page text or the file's bytes
    std::string error;   // why not (UTF-8), when !ok
};

// The parts of an address (before any document is read).
struct AddressParts {
    enum class Kind { Page, File, FileSystem, Unknown };
    Kind kind = Kind::Unknown;
    std::string document; // decoded; empty: the open document
    std::string pagePath; // Windows-1252, as written (encoded)
    std::string fileName; // decoded, Windows-1252
    std::string path;     // FileSystem: the file's path
};

// Takes an address apart. False with `error` set for "No valid archive
// name." (a document part of one or two characters) and "No archive page
// name." (a "ztf:/" address without a page path).
bool SplitAddress(std::string_view address, AddressParts& parts, std::string& error);

// Fetches what an address names. Errors: "No valid archive name.", "No
// archive page name.", "File not found '%s'" (document file, file of the file
// system or attached file), "Page not found '%s'", the document reader's own
// messages, else "Unknown Archive Exception!".
AddressResult ResolveAddress(std::string_view address, const AddressContext& context);

} // namespace zt
