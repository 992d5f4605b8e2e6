#include "exchange/addresses.h"

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "base/urlcode.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "text/pagertf.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace zt {

namespace {

namespace fs = std::filesystem;

// A path of the address as a path of this system: absolute from the root.
std::string SystemPath(std::string_view part) {
    return !part.empty() && part.front() == '/' ? std::string(part) : "/" + std::string(part);
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
}

std::string FileNotFound(std::string_view what) { return FormatMessage(Msg::ScriptFileNotFound, {std::string(what)}); }

// Tells the caller the first error the document reader reports, and hands
// the question for credentials on. It agrees to nothing else: the document
// is only read.
class ReaderPrompter : public Prompter {
public:
    explicit ReaderPrompter(Prompter* inner) : inner_(inner) {}
    std::string error;

    void Message(std::string_view text, Icon icon) override {
        if (icon == Icon::Error && error.empty()) error = text;
    }
    bool AskYesNo(std::string_view) override { return false; }
    bool AskCredentials(const CredentialsQuestion& q, std::string& name, std::string& password) override {
        return inner_ && inner_->AskCredentials(q, name, password);
    }

private:
    Prompter* inner_;
};

AddressResult Fail(std::string error) {
    AddressResult r;
    r.error = std::move(error);
    return r;
}

AddressResult ReadFileSystemFile(const std::string& path) {
    AddressResult r;
    if (!IsRegularFile(path) || !ReadWholeFile(path, r.content)) return Fail(FileNotFound(path));
    r.ok = true;
    return r;
}

AddressResult FetchFromDocument(CZTDocument& doc, const AddressParts& parts, RtfTextMode mode) {
    CZTPageNode* page = ResolvePath(doc.Tree(), nullptr, parts.pagePath);
    if (!page) return Fail(FormatMessage(Msg::ScriptPageNotFound, {Cp1252ToUtf8(parts.pagePath)}));
    AddressResult r;
    if (parts.kind == AddressParts::Kind::File) {
        CZTFileRecord file = doc.Archive().GetFile(page->Ident(), parts.fileName);
        if (!file.valid) return Fail(FileNotFound(Cp1252ToUtf8(parts.fileName)));
        std::string why;
        const std::string* content = file.GetText(&why);
        if (!content) return Fail(MessageText(Msg::FileDamaged));
        r.content = *content;
    } else {
        CZTPageRecord record = doc.Archive().GetPage(page->Ident());
        const std::string* text = record.GetText();
        if (!text && record.Damaged()) return Fail(MessageText(Msg::FileDamaged));
        // Imports may have stored plain text; it reads as such.
        const std::string rtf = TextToPageRtf(text ? *text : std::string(), 10, false);
        RtfConverter converter;
        if (!converter.RtfToText(rtf, mode, r.content)) return Fail(MessageText(Msg::TextNotConvertible));
    }
    r.ok = true;
    return r;
}

} // namespace

bool SplitAddress(std::string_view address, AddressParts& parts, std::string& error) {
    parts = {};
    error.clear();
    if (StartsWithNoCase(address, "file:/")) {
        parts.kind = AddressParts::Kind::FileSystem;
        parts.path = SystemPath(address.substr(6));
        return true;
    }
    std::string_view rest;
    if (StartsWithNoCase(address, "zt:/")) {
        parts.kind = AddressParts::Kind::Page;
        rest = address.substr(4);
    } else if (StartsWithNoCase(address, "ztf:/")) {
        parts.kind = AddressParts::Kind::File;
        rest = address.substr(5);
    } else {
        error = FileNotFound(address);
        return false;
    }
    const size_t separator = rest.find_first_of("?;");
    std::string document = UrlFormDecode(rest.substr(0, separator));
    std::string path =
        separator == std::string_view::npos ? std::string() : Utf8ToCp1252(rest.substr(separator + 1));
    if (document.size() >= 2 && document[1] == '|') document[1] = ':'; // a drive letter
    if (!document.empty() && document.size() < 3) {
        error = MessageText(Msg::NoValidArchiveName);
        return false;
    }
    parts.document = document.empty() ? std::string() : SystemPath(document);
    if (parts.kind == AddressParts::Kind::File) {
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0 || path.find_first_not_of('/') >= slash) {
            error = MessageText(Msg::NoArchivePageName);
            return false;
        }
        parts.fileName = UrlFormDecode(std::string_view(path).substr(slash + 1));
        path.resize(slash);
    }
    parts.pagePath = path;
    return true;
}

AddressResult ResolveAddress(std::string_view address, const AddressContext& context) {
    AddressParts parts;
    std::string error;
    if (!SplitAddress(address, parts, error)) return Fail(error);
    if (parts.kind == AddressParts::Kind::FileSystem) return ReadFileSystemFile(parts.path);

    CZTDocument* open = context.openDocument;
    // An untitled document's path is only the temporary directory.
    const bool namesOpen =
        open && !open->Archive().NeverSaved() && SameFile(parts.document, open->Archive().FilePath());
    if (parts.document.empty() || namesOpen) {
        if (!open) return Fail(MessageText(Msg::NoValidArchiveName));
        return FetchFromDocument(*open, parts, context.textMode);
    }
    if (!IsRegularFile(parts.document)) return Fail(FileNotFound(parts.document));
    ReaderPrompter prompter(context.prompter);
    auto doc = std::make_unique<CZTDocument>(prompter);
    if (!doc->Open(parts.document))
        return Fail(prompter.error.empty() ? MessageText(Msg::UnknownArchiveException) : prompter.error);
    return FetchFromDocument(*doc, parts, context.textMode);
}

} // namespace zt
