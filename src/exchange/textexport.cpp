// The text export: pages composed into one text, written through the text
// file opener.
#include "exchange/textfiles.h"

#include "base/messages.h"
#include "base/prompter.h"
#include "core/document.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "text/pagertf.h"
#include "text/rtftokenizer.h"

namespace zt {

namespace {

// The number of the next page in the walk: "c" opens a level, "n" counts on,
// k times "p" climbs k levels and counts on.
std::string NextNumber(const std::string& previous, const std::string& code) {
    std::vector<int> parts;
    size_t pos = 0;
    while (pos < previous.size()) {
        size_t dot = previous.find('.', pos);
        if (dot == std::string::npos) dot = previous.size();
        parts.push_back(std::atoi(previous.substr(pos, dot - pos).c_str()));
        pos = dot + 1;
    }
    if (parts.empty()) return "1";
    if (code == "c") {
        parts.push_back(1);
    } else {
        const size_t climb = code.empty() || code[0] != 'p' ? 0 : code.size();
        for (size_t k = 0; k < climb && parts.size() > 1; ++k) parts.pop_back();
        ++parts.back();
    }
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "." : "") + std::to_string(parts[i]);
    return out;
}

bool IsColourWord(std::string_view w) {
    static const char* kWords[] = {"cf",      "cb",      "highlight", "chcbpat", "chcfpat", "clcbpat", "clcfpat",
                                   "cbpat",   "cfpat",   "brdrcf",    "trcbpat", "trcfpat", "ulc"};
    for (const char* k : kWords)
        if (w == k) return true;
    return false;
}

bool IsHeaderWord(std::string_view w) {
    return w == "rtf" || w == "ansi" || w == "mac" || w == "pc" || w == "pca" || w == "ansicpg" || w == "deff" ||
           w == "deflang" || w == "deflangfe";
}

// Merges page RTF documents into one: the font and colour tables of all
// pages, each page's references renumbered into them.
class RtfComposer {
public:
    void AddHeading(const std::string& heading) {
        body_ += "{\\pard\\plain\\b\\ul\\fs36 ";
        AppendRtfEscaped(body_, heading);
        body_ += "\\par}\\pard\\par\n";
    }

    void AddPage(std::string_view rtf) {
        RtfTokenizer tok(rtf);
        RtfToken t;
        if (!tok.Next(t) || t.type != RtfTokenType::GroupOpen) return;
        int fontMax = -1, deff = 0;
        bool hadColours = false;
        const size_t colourBase = colourCount_;
        std::string pageBody;
        const int fontOffset = fontOffset_;
        while (tok.Next(t)) {
            if (t.type == RtfTokenType::GroupClose && tok.Depth() == 0) break;
            if (t.type == RtfTokenType::GroupOpen && tok.Depth() == 2) {
                const size_t start = t.offset;
                const size_t save = tok.Position();
                RtfToken w;
                bool isWord = tok.Next(w) && w.type == RtfTokenType::Word;
                if (isWord && (w.word == "fonttbl" || w.word == "colortbl" || w.word == "stylesheet" ||
                               w.word == "info")) {
                    std::string inner;
                    RtfToken x;
                    while (tok.Next(x)) {
                        if (x.type == RtfTokenType::GroupClose && tok.Depth() == 1) break;
                        if (w.word == "fonttbl" && x.type == RtfTokenType::Word && x.word == "f" && x.hasParam) {
                            if (x.param > fontMax) fontMax = x.param;
                            inner += "\\f" + std::to_string(int64_t(x.param) + fontOffset) + " ";
                        } else {
                            inner.append(rtf.substr(x.offset, x.end - x.offset));
                        }
                    }
                    if (w.word == "fonttbl") {
                        fonts_ += inner;
                    } else if (w.word == "colortbl") {
                        hadColours = true;
                        for (char c : inner)
                            if (c == ';') ++colourCount_;
                        colours_ += inner;
                    }
                    continue;
                }
                tok.Seek(save, 2);
                pageBody.append(rtf.substr(start, t.end - start));
                continue;
            }
            if (t.type == RtfTokenType::Word && tok.Depth() == 1 && IsHeaderWord(t.word)) {
                if (t.word == "deff" && t.hasParam) deff = t.param;
                continue;
            }
            if (t.type == RtfTokenType::Word && t.hasParam) {
                if (t.word == "f") {
                    pageBody += "\\f" + std::to_string(int64_t(t.param) + fontOffset) + " ";
                    continue;
                }
                if (IsColourWord(t.word)) {
                    // The number follows once the page's table is known.
                    pageBody += "\\" + std::string(t.word);
                    pendingColour_.push_back({pageBody.size(), t.param});
                    pageBody += ' ';
                    continue;
                }
            }
            pageBody.append(rtf.substr(t.offset, t.end - t.offset));
        }
        // Colour numbers: into this page's part of the table; without a table
        // of its own a page keeps its numbers (0 is automatic).
        std::string fixed;
        fixed.reserve(pageBody.size() + pendingColour_.size() * 4);
        size_t from = 0;
        for (const auto& p : pendingColour_) {
            fixed.append(pageBody, from, p.at - from);
            fixed += std::to_string(hadColours ? int64_t(p.param) + int64_t(colourBase) : int64_t(p.param));
            from = p.at;
        }
        fixed.append(pageBody, from, std::string::npos);
        pendingColour_.clear();
        if (first_) {
            deff_ = deff + fontOffset;
            first_ = false;
        }
        body_ += "{\\pard\\plain\\f" + std::to_string(int64_t(deff) + fontOffset) + " ";
        body_ += fixed;
        body_ += "\\par}\n";
        if (fontMax >= 0) fontOffset_ += fontMax + 1;
    }

    std::string Finish() const {
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff" + std::to_string(deff_) + "\\deflang1031{\\fonttbl";
        out += fonts_.empty() ? "{\\f0\\fswiss\\fcharset0 Arial;}" : fonts_;
        out += "}{\\colortbl;" + colours_ + "}\n";
        out += body_;
        out += "}";
        return out;
    }

private:
    struct Pending {
        size_t at; // where the number goes
        int32_t param;
    };
    std::string fonts_, colours_, body_;
    std::vector<Pending> pendingColour_;
    int fontOffset_ = 0, deff_ = 0;
    size_t colourCount_ = 1; // the automatic colour comes first
    bool first_ = true;
};

} // namespace

bool ComposePagesText(CZTDocument& doc, ExportWhat what, const CZTPageNode* page, bool withTitles, bool asRtf,
                      std::string& out) {
    out.clear();
    const std::vector<ExportStep> steps = BuildExportSteps(doc.Tree(), what, page);
    if (steps.empty()) return false;
    RtfComposer composer;
    RtfConverter converter;
    std::string number;
    for (size_t i = 0; i < steps.size(); ++i) {
        number = i == 0 ? "1" : NextNumber(number, steps[i].code);
        const std::string heading = number + " " + steps[i].node->Title();
        const std::string text = doc.PageText(steps[i].node);
        const std::string rtf = TextToPageRtf(text, 10, false);
        if (asRtf) {
            if (withTitles) composer.AddHeading(heading);
            composer.AddPage(rtf);
        } else {
            if (withTitles) out += heading + "\n\n";
            std::string plain;
            if (!text.empty() && !converter.RtfToText(rtf, RtfTextMode::Text, plain)) return false;
            out += plain;
            if (!out.empty() && out.back() != '\n') out += "\n";
            if (withTitles) out += "\n";
        }
    }
    if (asRtf) out = composer.Finish();
    return true;
}

bool ExportText(CZTDocument& doc, const std::string& path, const TextExportOptions& options, Prompter& prompter) {
    const int t = DetectTextFormat(path, true);
    prompter.Status(MessageText(Msg::ExportingFiles));
    std::string text, error;
    bool ok = ComposePagesText(doc, options.what, options.page, options.withTitles, t >= 2, text);
    if (!ok) {
        error = FormatMessage(Msg::FileWriteFailed, {path + "\n" + MessageText(Msg::TextNotConvertible)});
    } else {
        TextFileOptions fo;
        fo.chosenFormat = options.chosenFormat;
        fo.run = options.run;
        fo.status = &prompter;
        std::unique_ptr<CZTTextFile> file = OpenTextFile(path, TextOpenMode::Write, error, fo);
        ok = file && file->Write(text, error) && file->Close(error);
    }
    prompter.Status({});
    if (!ok && options.showMessages) prompter.Message(error, Prompter::Icon::Error);
    return ok;
}

} // namespace zt
