#include "core/links.h"

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/messages.h"
#include "base/urlcode.h"
#include "core/archive.h"
#include "core/pagepaths.h"
#include "core/pagetree.h"

namespace zt {

LinkTarget ParseLink(std::string_view utf8Text) {
    LinkTarget t;
    t.text = TrimWhite(utf8Text);
    const std::string_view text = t.text;
    if (text.empty()) return t;
    if (StartsWithNoCase(text, "zt:")) {
        t.kind = LinkKind::Page;
        t.pathText = std::string(text.substr(3));
        t.path = Utf8ToCp1252(t.pathText);
    } else if (StartsWithNoCase(text, "ztf:")) {
        t.kind = LinkKind::File;
        const std::string rest = Utf8ToCp1252(text.substr(4));
        const size_t slash = rest.rfind('/');
        if (slash == std::string::npos) {
            t.fileName = UrlFormDecode(rest); // a file of the current page
        } else {
            // "ztf:/name" names the root, which holds no files.
            t.path = slash == 0 ? std::string("/") : rest.substr(0, slash);
            t.fileName = UrlFormDecode(std::string_view(rest).substr(slash + 1));
        }
        t.pathText = Cp1252ToUtf8(t.path);
    } else {
        t.kind = LinkKind::External;
        t.address = StartsWithNoCase(text, "www.") ? "http://" + t.text : t.text;
    }
    return t;
}

bool HasAttachedFile(const CZTArchive& archive, int32_t ident, std::string_view name) {
    int32_t pos = 0;
    for (std::string n = archive.FileName(ident, pos); pos >= 0; n = archive.FileName(ident, pos))
        if (n == name) return true;
    return false;
}

FollowResult FollowLink(std::string_view utf8Text, const LinkContext& context) {
    const LinkTarget target = ParseLink(utf8Text);
    auto tell = [&](const std::string& text) {
        if (context.message) context.message(text);
    };
    switch (target.kind) {
    case LinkKind::None:
        return FollowResult::Nothing;
    case LinkKind::External:
        if (context.openExternal) context.openExternal(target.address);
        return FollowResult::ExternalOpened;
    case LinkKind::Page:
    case LinkKind::File:
        break;
    }
    CZTPageNode* page = context.tree ? ResolvePath(*context.tree, context.current, target.path) : nullptr;
    if (!page) {
        tell(FormatMessage(Msg::PageNotFound, {target.pathText}));
        return FollowResult::PageNotFound;
    }
    if (target.kind == LinkKind::Page) {
        if (context.selectPage) context.selectPage(page);
        return FollowResult::PageSelected;
    }
    if (context.archive && !HasAttachedFile(*context.archive, page->Ident(), target.fileName)) {
        tell(FormatMessage(Msg::AttachedFileNotFound, {Cp1252ToUtf8(target.fileName)}));
        return FollowResult::FileNotFound;
    }
    if (context.openFile) context.openFile(page, target.fileName);
    return FollowResult::FileOpened;
}

} // namespace zt
