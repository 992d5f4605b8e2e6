// The HTML site writer.
#include "exchange/htmlexport.h"

#include "base/xml.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "base/system.h"
#include "base/urlcode.h"
#include "core/document.h"
#include "core/extbytes.h"
#include "core/links.h"
#include "core/pagepaths.h"
#include "exchange/exchangeutil.h"
#include "exchange/htmlsearch.h"
#include "exchange/htmlsearchworker.h"
#include "exchange/rtfhtml/htmlchars.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "text/pagecolors.h"
#include "text/pagertf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace zt {

namespace {

constexpr const char* kEmptyPageRtf =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fcharset0 Arial;}}\\par}";
constexpr const char* kGenerator = "<h4>Erzeugt mit Zettrix</h4>";
constexpr size_t kMaxFlatPrefix = 150;
// Names on the disk stay below 255 bytes: a flat name at most this long, with
// room for the pictures' "ImgN.png" in place of ".htm".
constexpr size_t kMaxFlatName = 240;
constexpr size_t kPictureSuffix = 8;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return out;
}

// Whether a word is a page ("zt:") or file ("ztf:") link, in any case. Asked
// for every word of every page, so without allocating.
bool IsSiteLink(std::string_view s) {
    if (s.size() < 3 || (s[0] | 0x20) != 'z' || (s[1] | 0x20) != 't') return false;
    return s[2] == ':' || (s.size() >= 4 && (s[2] | 0x20) == 'f' && s[3] == ':');
}

std::string Rgb(uint32_t lowRed) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", lowRed & 0xFF, (lowRed >> 8) & 0xFF, (lowRed >> 16) & 0xFF);
    return buf;
}

// An address inside the site: every byte outside a small safe set is
// percent-encoded, so names with blanks, "#" or "(" still lead to their file.
std::string Href(std::string_view rel) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : rel) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
            c == '.' || c == '_' || c == '~' || c == '!' || c == '+') {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

// HTML text of the converter back to Windows-1252 bytes: the entities it
// writes (named and numeric) are undone.
std::string UnescapeHtml(std::string_view s) {
    static const std::unordered_map<std::string, char32_t> kNames = [] {
        std::unordered_map<std::string, char32_t> m;
        for (char32_t c = 0x20; c < 0x2700; ++c) {
            std::string_view n = rtfhtml::HtmlEntityName(c);
            if (!n.empty()) m.emplace(std::string(n), c);
        }
        m.emplace("apos", U'\'');
        return m;
    }();
    std::string utf8;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '&') {
            const size_t semi = s.find(';', i);
            if (semi != std::string_view::npos && semi - i <= 10) {
                std::string_view name = s.substr(i + 1, semi - i - 1);
                char32_t cp = 0;
                if (!name.empty() && name[0] == '#') {
                    cp = char32_t(std::strtoul(std::string(name.substr(1)).c_str(), nullptr, 10));
                } else if (auto it = kNames.find(std::string(name)); it != kNames.end()) {
                    cp = it->second;
                }
                if (cp) {
                    AppendUtf8(utf8, cp);
                    i = semi;
                    continue;
                }
            }
        }
        AppendUtf8(utf8, Cp1252ToUnicode(c));
    }
    return Utf8ToCp1252(utf8);
}

struct SiteFile {
    std::string name; // the attached file's name (Windows-1252)
    std::string rel;  // where it goes, relative to the site
    std::string link; // how the file list links to it
};

struct SitePage {
    const CZTPageNode* node = nullptr;
    std::string code;
    std::string dir;         // levels: R; flat: the prefix of the page's names
    int separators = 0;      // "/" in R
    std::string displayPath; // display titles joined by "/", escaped
    std::string display;     // own display title (not escaped)
    std::string file;        // the page file relative to the site
    std::string ownFile;     // the page file relative to its directory (levels) or the site
    std::string filesList;   // the file list relative to the site
    std::vector<SiteFile> files;
};

class SiteWriter {
public:
    SiteWriter(CZTDocument& doc, const HtmlExportOptions& options, Prompter& prompter)
        : doc_(doc), options_(options), s_(options.settings), prompter_(prompter), levels_(s_.dirMode == 0) {}

    ExportOutcome Run(const std::string& folderIn);

private:
    void Tell(Msg id, const std::string& arg) {
        if (options_.showMessages) prompter_.Message(FormatMessage(id, {arg}), Prompter::Icon::Error);
    }
    void Plan();
    bool WritePage(size_t i, RtfConverter& converter);
    void WriteFileList(const SitePage& p, const std::string& up);
    std::string Up(const SitePage& p) const {
        std::string u;
        if (!levels_) return u;
        for (int k = 0; k <= p.separators; ++k) u += "../";
        return u;
    }
    // The address of `target` from the page `from`.
    std::string PageHref(const SitePage& from, const SitePage& target) const {
        return Href(levels_ ? Up(from) + target.file : target.file);
    }
    bool LinkCallback(const SitePage& p, std::string& out, std::string_view word, std::string_view stripped);
    std::string ResolveLink(const SitePage& p, std::string_view linkHtml);
    // `body`: the range of the page's text in `html`, kept up to date.
    void FixFieldLinks(const SitePage& p, std::string& html, RtfHtmlBody& body);

    CZTDocument& doc_;
    const HtmlExportOptions& options_;
    const HtmlExportSettings& s_;
    Prompter& prompter_;
    const bool levels_;
    std::string docName_; // escaped
    std::vector<SitePage> pages_;
    std::unordered_map<const CZTPageNode*, size_t> index_;
    std::unique_ptr<SafeTree> tree_;
    std::unique_ptr<htmlsite::SearchIndexWorker> search_; // with the search page only
    size_t files_ = 0;
};

void SiteWriter::Plan() {
    const std::vector<ExportStep> steps = options_.page
                                              ? BuildExportSteps(doc_.Tree(), ExportWhat::Subtree, options_.page)
                                              : BuildExportSteps(doc_.Tree(), ExportWhat::Document, nullptr);
    std::unordered_map<const CZTPageNode*, std::unordered_set<std::string>> exportUsed;
    std::unordered_map<const CZTPageNode*, std::map<std::string, int>> displayUsed;
    pages_.reserve(steps.size());
    for (const ExportStep& step : steps) {
        SitePage p;
        p.node = step.node;
        p.code = step.code;
        const CZTPageNode* parent = step.node->Parent();
        const auto upAt = parent ? index_.find(parent) : index_.end();
        const SitePage* up = upAt != index_.end() ? &pages_[upAt->second] : nullptr;

        const std::string base = HtmlExportTitle(step.node->Title());
        auto& used = exportUsed[parent];
        std::string comp = base;
        for (int n = 1; used.count(Lower(comp)); ++n) comp = base + "-28" + std::to_string(n) + "-29";
        used.insert(Lower(comp));

        std::string displayPrefix;
        if (!up && parent) {
            // The top page of a subtree: named as in the whole document.
            p.display = LinkNameText(step.node);
            for (const CZTPageNode* a = parent; a; a = a->Parent())
                displayPrefix = HtmlEscape(LinkNameText(a)) + "/" + displayPrefix;
        } else {
            int& seen = displayUsed[parent][step.node->Title()];
            p.display = step.node->Title() + (seen > 0 ? "(" + std::to_string(seen) + ")" : std::string());
            ++seen;
            if (up) displayPrefix = up->displayPath + "/";
        }
        p.displayPath = displayPrefix + HtmlEscape(p.display);

        const int32_t ident = step.node->Ident();
        ExportNameTable names;
        std::vector<std::string> regs;
        size_t longest = 0;
        int32_t pos = 0;
        for (std::string name = doc_.Archive().FileName(ident, pos); pos >= 0;
             name = doc_.Archive().FileName(ident, pos)) {
            std::string reg = RegisterExportName(names, "f", "ztf-" + UrlFormEncode(name));
            if (!reg.empty() && reg[0] == '/') reg.erase(0, 1);
            longest = std::max(longest, Cp1252ToUtf8(reg).size());
            SiteFile sf;
            sf.name = name;
            p.files.push_back(std::move(sf));
            regs.push_back(std::move(reg));
        }
        const std::string f = "zt-" + comp + ".htm";
        if (levels_) {
            p.dir = up ? up->dir + "/" + comp : comp;
            p.separators = up ? up->separators + 1 : 0;
            p.file = p.dir + "/" + f;
            p.ownFile = f;
            p.filesList = p.dir + "/ztfContent.htm";
        } else {
            p.dir = up ? up->dir + "-" + comp : comp;
            // Deep trees of long titles would make names too long for the
            // disk (the page, its pictures, its attached files): such a page
            // is named after its ident ("~" never occurs in a sanitised
            // title, so the name stays unique).
            const size_t own = std::max(longest, f.size() + kPictureSuffix);
            if (p.dir.size() > kMaxFlatPrefix || p.dir.size() + 1 + own > kMaxFlatName)
                p.dir = "~" + std::to_string(step.node->Ident());
            p.file = p.dir + "-" + f;
            p.ownFile = p.file;
            p.filesList = p.dir + "-ztfContent.htm";
        }
        for (size_t k = 0; k < p.files.size(); ++k) {
            p.files[k].rel = levels_ ? p.dir + "/" + regs[k] : p.dir + "-" + regs[k];
            p.files[k].link = levels_ ? regs[k] : p.files[k].rel;
        }
        index_[step.node] = pages_.size();
        pages_.push_back(std::move(p));
    }
}

std::string SiteWriter::ResolveLink(const SitePage& p, std::string_view linkHtml) {
    const std::string text = Cp1252ToUtf8(UnescapeHtml(linkHtml));
    LinkTarget target = ParseLink(text);
    if (target.kind != LinkKind::Page && target.kind != LinkKind::File) return {};
    const CZTPageNode* node = target.path.empty() && target.kind == LinkKind::File
                                  ? p.node
                                  : ResolvePath(doc_.Tree(), p.node, target.path);
    if (!node) return {};
    auto it = index_.find(node);
    if (it == index_.end()) return {};
    const SitePage& t = pages_[it->second];
    if (target.kind == LinkKind::Page) return PageHref(p, t);
    for (const SiteFile& f : t.files)
        if (f.name == target.fileName) return Href(levels_ ? Up(p) + f.rel : f.rel);
    return {};
}

bool SiteWriter::LinkCallback(const SitePage& p, std::string& out, std::string_view word, std::string_view stripped) {
    if (!IsSiteLink(stripped)) return false;
    const std::string href = ResolveLink(p, stripped);
    if (href.empty()) {
        out.append(word); // a target the site does not hold: plain text
        return true;
    }
    out += "<A HREF=\"" + href + "\">";
    out.append(word);
    out += "</A>";
    return true;
}

// Hyperlink fields of the text may name pages too: their addresses are
// resolved like words, and an address the site cannot serve loses its link.
void SiteWriter::FixFieldLinks(const SitePage& p, std::string& html, RtfHtmlBody& body) {
    static const std::string kOpen = "<A HREF=\"";
    // A replacement at `pos` of `removed` bytes by `added` bytes moves what follows.
    auto moved = [&](size_t pos, size_t removed, size_t added) {
        if (pos < body.begin) body.begin = body.begin + added - removed;
        if (pos < body.end) body.end = body.end + added - removed;
    };
    size_t at = 0;
    while ((at = html.find(kOpen, at)) != std::string::npos) {
        const size_t start = at + kOpen.size();
        const size_t quote = html.find('"', start);
        if (quote == std::string::npos) break;
        const std::string value = html.substr(start, quote - start);
        if (!IsSiteLink(value)) {
            at = quote;
            continue;
        }
        const std::string href = ResolveLink(p, value);
        if (!href.empty()) {
            moved(start, quote - start, href.size());
            html.replace(start, quote - start, href);
            at = start + href.size();
        } else {
            const size_t close = html.find('>', quote);
            if (close == std::string::npos) break;
            moved(at, close + 1 - at, 3);
            html.replace(at, close + 1 - at, "<A>");
            at += 3;
        }
    }
}

bool SiteWriter::WritePage(size_t i, RtfConverter& converter) {
    const SitePage& p = pages_[i];
    const int32_t ident = p.node->Ident();
    std::string error;
    if (levels_ && !tree_->MakeDirectory(p.dir, error)) {
        Tell(Msg::ExportDirFailed, tree_->DiskPath(p.dir) + "\n" + error);
        return false;
    }
    const std::string up = Up(p);
    std::string text = doc_.PageText(p.node);
    std::string rtf, bodyAttributes;
    if (text.empty()) {
        rtf = kEmptyPageRtf;
        bodyAttributes = "bgcolor=\"#FFFFFF\"";
    } else {
        rtf = TextToPageRtf(text, 10, false);
        std::string_view data;
        uint32_t colour = 0xFFFFFF;
        if (doc_.Archive().GetExtItem(ident, kExtPageColours, data)) {
            PageColors colours = PageColors::Decode(data);
            if (colours.textBackground) colour = *colours.textBackground;
        }
        bodyAttributes = "bgcolor=\"" + Rgb(colour) + "\"";
    }
    std::string head1 = s_.head1, head2 = s_.head2, foot1 = s_.foot1, foot2 = s_.foot2;
    if (!s_.linkHead && (!head1.empty() || !head2.empty())) head2 += "<hr>";
    if (!s_.linkFoot && (!foot1.empty() || !foot2.empty())) foot1 = "<hr>" + foot1;
    const std::string titleLine =
        s_.titleLine ? "<br><h3>Inhalt von " + docName_ + ": /" + p.displayPath + "</h3>" : std::string();
    std::string contents, filesLink, prev, next;
    if (s_.linkHead || s_.linkFoot) {
        contents = "<a href=\"" + Href(up + "ztContent.htm") + "\">Inhaltsverzeichnis</a>";
        if (!p.files.empty())
            filesLink = "<a href=\"" + Href(levels_ ? "ztfContent.htm" : p.filesList) + "\">Dateien</a>";
        if (i > 0) prev = "<a href=\"" + PageHref(p, pages_[i - 1]) + "\">Vorherige Seite</a>";
        if (i + 1 < pages_.size()) next = "<a href=\"" + PageHref(p, pages_[i + 1]) + "\">N\xE4" "chste Seite</a>";
    }
    auto bar = [&] {
        return "<font face=\"Times Roman\"><table width=\"100%\" border=0><tr><td width=\"25%\">" + contents +
               "</td><td width=\"25%\">" + filesLink + "</td><td width=\"25%\">" + prev + "</td><td width=\"25%\">" +
               next + "</td></tr></table>";
    };
    RtfHtmlSettings& hs = converter.HtmlSettings();
    hs.headText = s_.meta;
    hs.bodyStartText = s_.linkHead ? head1 + bar() + titleLine + "</font>" + head2 + "<hr>\n"
                                   : head1 + titleLine + head2 + "\n";
    hs.bodyEndText = s_.linkFoot ? "<hr>" + foot1 + bar() + "</font>" + foot2 + "<br>\n" : foot1 + foot2 + "\n";
    hs.title = docName_ + ": /" + p.displayPath;
    hs.titleOverrides = true;
    hs.bodyAttributes = bodyAttributes;
    hs.imagePrefix.clear();
    hs.linkCallback = [this, &p](std::string& out, std::string_view word, std::string_view stripped) {
        return LinkCallback(p, out, word, stripped);
    };
    std::string html;
    const std::string pictureBase = tree_->DiskPath(p.file.substr(0, p.file.size() - 4));
    const bool converted = converter.RtfToHtml(rtf, html, pictureBase);
    hs.linkCallback = nullptr;
    if (!converted) {
        Tell(Msg::HtmlWriteError, tree_->DiskPath(p.file));
        return false;
    }
    RtfHtmlBody body = text.empty() ? RtfHtmlBody{} : converter.LastHtmlBody();
    FixFieldLinks(p, html, body);
    if (!tree_->WriteFile(p.file, html, ExportFileTime(doc_.Archive().GetPage(ident).mtime), error)) {
        Tell(Msg::HtmlWriteError, tree_->DiskPath(p.file) + "\n" + error);
        return false;
    }
    ++files_;
    if (search_) {
        // The text for the index comes out of the page's HTML, not out of a
        // second reading of its RTF.
        search_->Add(Cp1252ToUtf8(UnescapeHtml(p.displayPath)), Href(p.file), std::move(html), body.begin, body.end);
    }
    if (!p.files.empty()) WriteFileList(p, up);
    return true;
}

void SiteWriter::WriteFileList(const SitePage& p, const std::string& up) {
    const int32_t ident = p.node->Ident();
    std::string_view data;
    uint32_t colour = 0xFFFFFF;
    if (doc_.Archive().GetExtItem(ident, kExtPageColours, data)) {
        PageColors colours = PageColors::Decode(data);
        if (colours.filesBackground) colour = *colours.filesBackground;
    }
    std::string list = "<html><head><title>Files - " + docName_ + ": /" + p.displayPath + "</title>" + s_.meta +
                       "</head>\n<body bgcolor=\"" + Rgb(colour) + "\">" + s_.head1 + "<h3>Dateien von <a href=\"" +
                       Href(up + "ztContent.htm") + "\">" + docName_ + "</a>: <a href=\"" + Href(p.ownFile) + "\">/" +
                       p.displayPath + "</a></h3>" + s_.head2 +
                       "<hr>\n<table><tr><th align=left>Dateiname</th><th align=left>Gr\xF6\xDF" "e</th>"
                       "<th align=left>Zuletzt ge\xE4ndert</th></tr>\n";
    const int64_t pageTime = ExportFileTime(doc_.Archive().GetPage(ident).mtime);
    std::string error;
    for (const SiteFile& f : p.files) {
        CZTFileRecord record = doc_.Archive().GetFile(ident, f.name);
        const std::string* bytes = record.GetText(&error);
        const bool empty = record.uncompressedLength == 0 && !record.HasContentSource();
        if (!bytes && !empty) {
            Tell(Msg::FileWriteFailed, tree_->DiskPath(f.rel) + "\n" + MessageText(Msg::FileDamaged));
            continue;
        }
        time_t t = record.mtime > 0 ? time_t(record.mtime) : time_t(1);
        char when[64] = "";
        struct tm tmv;
        if (localtime_r(&t, &tmv)) std::strftime(when, sizeof when, "%a %b %e %H:%M:%S %Y\n", &tmv);
        list += "<tr><td><a href=\"" + Href(f.link) + "\">" + HtmlEscape(f.name) + "</a></td>\n<td align=right>" +
                std::to_string(bytes ? bytes->size() : 0) + "</td>\n<td>" + when + "</td>\n</tr>\n";
        if (!tree_->WriteFile(f.rel, bytes ? std::string_view(*bytes) : std::string_view(), pageTime, error)) {
            Tell(Msg::FileWriteFailed, tree_->DiskPath(f.rel) + "\n" + error);
            continue;
        }
        ++files_;
    }
    list += "\n</table><hr>" + s_.foot1 + s_.foot2 + kGenerator + "<br></body></html>\n";
    if (!tree_->WriteFile(p.filesList, list, pageTime, error)) Tell(Msg::FileWriteFailed, tree_->DiskPath(p.filesList) + "\n" + error);
    else ++files_;
}

ExportOutcome SiteWriter::Run(const std::string& folderIn) {
    ExportOutcome out;
    std::string folder = folderIn;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string siteName = "HTML-" + DocumentExportName(doc_);
    std::string name, error;
    for (int n = 0; n < 100000; ++n) {
        const std::string candidate =
            n == 0 ? siteName : Utf8ToCp1252(FileNamePart(NumberedName(Cp1252ToUtf8(siteName), n)));
        struct stat st;
        if (::lstat((folder + "/" + Cp1252ToUtf8(candidate)).c_str(), &st) == 0) continue;
        SafeTree parent(folder);
        if (parent.MakeDirectory(candidate, error)) {
            name = candidate;
            break;
        }
        if (errno != EEXIST) break;
    }
    if (name.empty()) {
        Tell(Msg::ExportMainDirFailed, folder + "/" + Cp1252ToUtf8(siteName) + "\n" + error);
        return out;
    }
    const std::string site = folder + "/" + Cp1252ToUtf8(name);
    out.written = site;
    out.directories = 1;
    tree_ = std::make_unique<SafeTree>(site);

    std::string docName = FileNamePart(Utf8ToCp1252(doc_.Archive().FilePath()));
    if (size_t dot = docName.rfind('.'); dot != std::string::npos) docName.resize(dot);
    if (docName.empty()) docName = Utf8ToCp1252(MessageText(Msg::ExportUnnamed));
    docName_ = HtmlEscape(docName);

    const TreeBackground background = doc_.Background();
    const uint32_t bg = background.colorSet ? uint32_t(background.color) : 0xFFFFFF;
    std::string contents = "<html><head><title>Inhalt von: " + docName_ + "</title>" + s_.meta +
                           "</head>\n<body bgcolor=\"" + Rgb(bg) + "\">" + s_.head1 + "<h2>Inhalt von: " + docName_ +
                           "</h2>" + s_.head2 + "<hr>";
    if (options_.searchPage) contents += "<p><a href=\"ztSearch.htm\">Suchen</a></p>\n";

    Plan();
    prompter_.Status(MessageText(Msg::ExportingFiles));
    uint64_t total = 0;
    for (const SitePage& p : pages_) total += 1 + uint64_t(std::max<int32_t>(0, doc_.Archive().Core().Node(p.node->Ident())->uncompressedLength));
    ProgressMeter meter(options_.progress, total);
    RtfConverter converter;
    converter.ResetConverterOptions();
    // The plain texts for the search page are made on a second processor
    // while this one writes the pages.
    if (options_.searchPage) search_ = std::make_unique<htmlsite::SearchIndexWorker>();
    int open = 0;
    bool failed = false;
    for (size_t i = 0; i < pages_.size(); ++i) {
        const SitePage& p = pages_[i];
        if (!WritePage(i, converter)) {
            if (!options_.showMessages && !options_.continueAfterError) {
                failed = true;
                break;
            }
        }
        std::string prefix;
        if (p.code == "c") {
            prefix = "<ul>\n";
            ++open;
        } else if (!p.code.empty() && p.code[0] == 'p') {
            for (size_t k = 0; k < p.code.size() && open > 1; ++k, --open) prefix += "</ul>";
            prefix += "\n";
        }
        std::string styleOpen, styleClose;
        const TreeEntryStyle& st = p.node->Style();
        if (st.IsSet()) {
            styleOpen = "<DIV style=\"";
            if (st.Has(TreeEntryStyle::FontNameSet)) styleOpen += "font-family: '" + HtmlEscape(st.fontName) + "'; ";
            if (st.Has(TreeEntryStyle::SizeSet)) styleOpen += "font-size: " + std::to_string(st.fontSize * 10 + 20) + "%; ";
            if (st.Has(TreeEntryStyle::TextColorSet)) styleOpen += "color: " + Rgb(uint32_t(st.textColor)) + "; ";
            if (st.Has(TreeEntryStyle::BackColorSet))
                styleOpen += "background-color: " + Rgb(uint32_t(st.backColor)) + "; ";
            if (st.Has(TreeEntryStyle::Bold)) styleOpen += "font-weight: bold; ";
            if (st.Has(TreeEntryStyle::Italic)) styleOpen += "font-style: italic; ";
            if (st.Has(TreeEntryStyle::Underline)) styleOpen += "text-decoration: underline; ";
            if (st.Has(TreeEntryStyle::StrikeOut)) styleOpen += "text-decoration: line-through; ";
            styleOpen += "\">";
            styleClose = "</DIV>";
        }
        contents += prefix + "<li><a href=\"" + Href(p.file) + "\">" + styleOpen + HtmlEscape(p.node->Title()) +
                    styleClose + "</a>\n";
        if (!meter.Advance(1 + uint64_t(std::max<int32_t>(0, doc_.Archive().Core().Node(p.node->Ident())->uncompressedLength))))
            break;
    }
    for (; open > 0; --open) contents += "</ul>";
    contents += std::string("\n<hr>") + s_.foot1 + s_.foot2 + kGenerator + "<br></body></html>\n";
    converter.ResetConverterState();
    prompter_.Status({});
    if (!tree_->WriteFile("ztContent.htm", contents, NowStamp(), error)) {
        Tell(Msg::FileWriteFailed, tree_->DiskPath("ztContent.htm") + "\n" + error);
        return out;
    }
    ++files_;
    if (options_.searchPage) {
        const std::string script = search_->Finish();
        const std::string_view json = htmlsite::SearchIndex::JsonIn(script);
        const std::string page = htmlsite::SearchPage(Cp1252ToUtf8(docName));
        if (!tree_->WriteFile("ztSearch.json", json, NowStamp(), error) ||
            !tree_->WriteFile("ztSearch.js", script, NowStamp(), error) ||
            !tree_->WriteFile("ztSearch.htm", page, NowStamp(), error)) {
            Tell(Msg::FileWriteFailed, site + "\n" + error);
            return out;
        }
        files_ += 3;
    }
    out.files = files_;
    if (!tree_->Sync(error)) {
        Tell(Msg::FileWriteFailed, site + "\n" + error);
        return out;
    }
    if (failed) return out;
    if (meter.Stopped()) {
        std::string to = MakeUniqueName(site + MessageText(Msg::ExportIncompleteSuffix), [](const std::string& path) {
            struct stat st;
            return ::lstat(path.c_str(), &st) == 0;
        });
        if (::rename(site.c_str(), to.c_str()) != 0) to = site;
        out.written = to;
        out.result = ExchangeResult::Cancelled;
        if (options_.showMessages) prompter_.Message(FormatMessage(Msg::ExportCancelled, {to}), Prompter::Icon::Warning);
        return out;
    }
    out.result = ExchangeResult::Ok;
    return out;
}

} // namespace

std::string HtmlEscape(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 8);
    xml::AppendEscaped(out, s);
    return out;
}

std::string HtmlExportTitle(std::string_view title) { return ExportSafeName(UrlFormEncode(title), 100); }

ExportOutcome ExportHtml(CZTDocument& doc, const std::string& folder, const HtmlExportOptions& options,
                         Prompter& prompter) {
    SiteWriter writer(doc, options, prompter);
    return writer.Run(folder);
}

} // namespace zt
