// The format table, the export name table, the step list and page texts in
// the export formats.
#include "exchange/exchange.h"

#include "base/cp1252.h"
#include "base/names.h"
#include "core/document.h"
#include "exchange/converter.h"
#include "exchange/oemcodepage.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "text/pagertf.h"

#include <cstring>

namespace zt {

namespace {

struct FormatRow {
    const char* description;
    bool read, write;
    const char* converter; // external converter needed, null for none
};

const FormatRow kFormats[kTextFormatCount] = {
    {"Text Document\nText Documents (*.txt)\n*.txt\nText Document", true, true, nullptr},
    {"Text Document - MS-DOS Format\nText Documents - MS-DOS Format (*.txt)\n*.txt\nMS-DOS Text Document", true, true,
     nullptr},
    {"Rich Text Format (RTF)\nRich Text Format (*.rtf)\n*.rtf\nRich Text Document", true, true, nullptr},
    {"Word 6.0 for Windows\nWord 6.0 for Windows (*.doc)\n*.doc\nWord 6 Document", true, true, "mswrd632.wpc"},
    {"Word 97\nWord 97 (*.doc)\n*.doc\nWord 97 Document", true, false, "mswrd832.cnv"},
    {"Windows Write\nWindows Write (*.wri)\n*.wri\nWrite Document", true, true, "WRITE32.WPC"},
    {"Any File\nAll Documents (*.*)\n*.*", true, true, nullptr},
};

std::string Field(int index, int n) {
    const char* d = TextFormatDescription(index);
    std::string_view s(d);
    for (int i = 0; i < n; ++i) {
        size_t lf = s.find('\n');
        if (lf == std::string_view::npos) return {};
        s.remove_prefix(lf + 1);
    }
    return std::string(s.substr(0, s.find('\n')));
}

unsigned char Fold(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
    }
}

std::string FoldedPath(std::string_view path) {
    std::string out(path);
    for (char& c : out) c = char(Fold(static_cast<unsigned char>(c)));
    return out;
}

bool IsDeviceName(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = char(Fold(static_cast<unsigned char>(c)));
    static const char* kDevices[] = {"con", "prn", "aux", "nul", "clock$"};
    for (const char* d : kDevices)
        if (stem == d) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

} // namespace

const char* TextFormatDescription(int index) {
    return index >= 0 && index < kTextFormatCount ? kFormats[index].description : "";
}

std::string TextFormatName(int index) { return Field(index, 0); }

std::string TextFormatExtension(int index) {
    std::string pattern = Field(index, 2);
    return pattern.size() == 5 ? pattern.substr(1) : std::string();
}

bool TextFormatAvailable(int index, bool forWriting) {
    if (index < 0 || index >= kTextFormatCount) return false;
    const FormatRow& r = kFormats[index];
    if (r.converter) {
        // The converter is LibreOffice: there only while its command is on
        // PATH, and it cannot write the Windows Write form.
        if (ConverterCommand().empty()) return false;
        if (forWriting && index == 5) return false;
    }
    return forWriting ? r.write : r.read;
}

std::vector<int> ExportTextFormats() {
    std::vector<int> rows;
    for (int i = 0; i < kTextFormatCount; ++i)
        if (i != kFormatAnyFile && TextFormatAvailable(i, true)) rows.push_back(i);
    return rows;
}

bool PageTextInFormat(CZTDocument& doc, int32_t ident, int format, std::string& out) {
    out.clear();
    CZTPageRecord r = doc.Archive().GetPage(ident);
    const std::string* text = r.GetText();
    if (!text) return !r.Damaged();
    if (format == kFormatRtf || format == kFormatAnyFile) {
        out = *text;
        return true;
    }
    if (format != kFormatText && format != kFormatDosText) return false;
    if (text->empty()) return true;
    std::string plain;
    if (!RtfToText(TextToPageRtf(*text, 10, false), RtfTextMode::Text, plain)) return false;
    if (format == kFormatText) {
        out = std::move(plain);
        return true;
    }
    std::string oem = AnsiToOem(plain);
    out.reserve(oem.size() + oem.size() / 16);
    for (char c : oem) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return true;
}

std::string ExportSafeName(std::string_view name, size_t maxUtf8) {
    std::string s = DiskNameRule(name);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '-';
    if (IsDeviceName(s)) {
        size_t dot = s.find('.');
        s.insert(dot == std::string::npos ? s.size() : dot, "!");
    }
    if (Cp1252ToUtf8(s).size() > maxUtf8) {
        size_t dot = s.rfind('.');
        std::string ext = dot != std::string::npos && s.size() - dot <= 16 ? s.substr(dot) : std::string();
        std::string stem = s.substr(0, s.size() - ext.size());
        while (!stem.empty() && Cp1252ToUtf8(stem).size() + Cp1252ToUtf8(ext).size() > maxUtf8) stem.pop_back();
        s = stem + ext;
        if (s.empty() || s.back() == '.') s += "!";
    }
    return s;
}

std::string RegisterExportName(ExportNameTable& names, std::string_view code, std::string_view title) {
    std::vector<ExportName>& table = names.entries;
    auto forget = [&](size_t keep) {
        for (size_t i = keep; i < table.size(); ++i)
            if (auto it = names.folded.find(FoldedPath(table[i].path)); it != names.folded.end() && --it->second == 0)
                names.folded.erase(it);
        table.resize(keep);
    };
    if (table.empty()) table.push_back({std::string(), 0, false});
    size_t cur = table.size() - 1;
    if (table[cur].isFile) cur = table[cur].parent;
    size_t parent = cur;
    if (code == "n") {
        parent = table[cur].parent;
    } else if (!code.empty() && code[0] == 'p') {
        size_t e = cur;
        for (size_t k = 0; k < code.size() && e != 0; ++k) e = table[e].parent;
        forget(e + 1);
        parent = table[e].parent;
    }
    const std::string candidate = table[parent].path + "/" + ExportSafeName(title);
    const size_t slash = candidate.find_last_of("/\\");
    const std::string dir = candidate.substr(0, slash + 1);
    const std::string file = candidate.substr(slash + 1);
    const size_t dot = file.rfind('.');
    const std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);
    // A name of the same directory is always behind the directory's own entry:
    // what is still in the table under the same folded path is taken.
    std::string numbered = candidate;
    std::string key = FoldedPath(numbered);
    for (int n = 1; names.folded.count(key); ++n) {
        numbered = dir + stem + " (#" + std::to_string(n) + ")" + ext;
        key = FoldedPath(numbered);
    }
    ++names.folded[key];
    table.push_back({numbered, parent, code == "f"});
    return numbered;
}

std::vector<ExportStep> BuildExportSteps(const CZTPageTree& tree, ExportWhat what, const CZTPageNode* page) {
    std::vector<ExportStep> steps;
    if (what == ExportWhat::Page) {
        if (page) steps.push_back({"c", page});
        return steps;
    }
    if (what == ExportWhat::Subtree && !page) return steps;
    CZTPageWalker walker(tree, what == ExportWhat::Document ? nullptr : page, what == ExportWhat::Subtree);
    CZTWalkStep step;
    while (walker.NextInWalk(step)) steps.push_back({step.code, step.node});
    if (!steps.empty()) steps.front().code = "c";
    return steps;
}

} // namespace zt
