// Following a link written in a page text: "zt:" names a page of this
// document by its link path, "ztf:" an attached file of such a page, anything
// else is handed to the system to open (web addresses, "mailto:" ...). The
// dispatcher knows no windows: the caller supplies what selecting a page,
// opening a file, opening an address and telling the user mean.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CZTArchive;
class CZTPageNode;
class CZTPageTree;

namespace zt {

enum class LinkKind { None, Page, File, External };

// A link text taken apart. Texts come as UTF-8 (as the view has them); paths
// and file names go to the document as Windows-1252 bytes.
struct LinkTarget {
    LinkKind kind = LinkKind::None;
    std::string text;     // the link text, trimmed (UTF-8)
    std::string path;     // Page, File: the link path as written (Windows-1252, still encoded)
    std::string pathText; // the same in UTF-8, for messages
    std::string fileName; // File: the file name, URL-decoded (Windows-1252)
    std::string address;  // External: what the system is asked to open (UTF-8)
};

// "zt:" (any case): the rest is a page path. "ztf:" (any case): the rest is
// split at its last "/" into the page path and the URL-encoded file name (no
// "/" at all: a file of the current page). Anything else non-empty is
// external; "www." gets "http://" put before it. Blank text is None.
LinkTarget ParseLink(std::string_view utf8Text);

// True when the page has an attached file of exactly that name.
bool HasAttachedFile(const CZTArchive& archive, int32_t ident, std::string_view name);

struct LinkContext {
    const CZTPageTree* tree = nullptr;
    // The page the link is written in; relative paths start there.
    const CZTPageNode* current = nullptr;
    // When given, a "ztf:" link to a file the page does not have is reported
    // here instead of calling openFile.
    const CZTArchive* archive = nullptr;
    // Selects the page with force (saved and reloaded even when current).
    std::function<void(CZTPageNode* page)> selectPage;
    // Opens the attached file (Windows-1252 name) as the files list opens
    // files from its menu, without waiting for the program.
    std::function<void(CZTPageNode* page, const std::string& name)> openFile;
    // Opens an address with the system's program for it.
    std::function<void(const std::string& address)> openExternal;
    // Tells the user (one modal message, UTF-8).
    std::function<void(const std::string& text)> message;
};

enum class FollowResult { Nothing, PageSelected, FileOpened, ExternalOpened, PageNotFound, FileNotFound };

// Follows a link text: selects the page, opens the file or the address, or
// tells "Seite\n%s\nnicht gefunden." (with the page path) or "Datei '%s'
// nicht gefunden." (with the file name).
FollowResult FollowLink(std::string_view utf8Text, const LinkContext& context);

} // namespace zt
