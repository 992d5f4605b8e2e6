#include "text/twinpass.h"

#include "text/pagertf.h"
#include "text/rtftokenizer.h"
#include "text/rtfwords.h"

#include <algorithm>

namespace zt {

namespace {

constexpr std::string_view kMarker = "{\\*\\ztxpict}";

// What the picture group says about its picture.
struct PictInfo {
    PictureKind kind = PictureKind::Unknown;
    int mapMode = 1;
    int64_t picw = 0, pich = 0;
    int64_t goalw = 0, goalh = 0;      // 0: not given
    int64_t scalex = 100, scaley = 100;
    std::string data;
    int pendingNibble = -1;
    bool damaged = false;

    void Word(const RtfToken& t) {
        const int64_t v = t.hasParam ? t.param : 0;
        switch (LookupRtfWord(t.word)) {
        case RtfKw::pngblip: kind = PictureKind::Png; break;
        case RtfKw::jpegblip: kind = PictureKind::Jpeg; break;
        case RtfKw::dibitmap: kind = PictureKind::Bitmap; break;
        case RtfKw::macpict: kind = PictureKind::MacPict; break;
        case RtfKw::wmetafile:
            kind = PictureKind::Metafile;
            mapMode = t.hasParam ? t.param : 1;
            break;
        case RtfKw::emfblip:
        case RtfKw::wbitmap: kind = PictureKind::Unknown; break;
        case RtfKw::picw: picw = std::max<int64_t>(v, 0); break;
        case RtfKw::pich: pich = std::max<int64_t>(v, 0); break;
        case RtfKw::picwgoal: goalw = std::max<int64_t>(v, 0); break;
        case RtfKw::pichgoal: goalh = std::max<int64_t>(v, 0); break;
        // A scale that is missing, zero or negative leaves the size as it is.
        case RtfKw::picscalex: scalex = v > 0 ? v : 100; break;
        case RtfKw::picscaley: scaley = v > 0 ? v : 100; break;
        default: break;
        }
    }

    void Hex(std::string_view text) {
        for (unsigned char c : text) {
            int v;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                v = (c | 0x20) - 'a' + 10;
            else
                continue;  // white space between the digits
            if (pendingNibble < 0) {
                pendingNibble = v;
            } else {
                data.push_back(char(pendingNibble << 4 | v));
                pendingNibble = -1;
            }
        }
    }
};

// Pixel size at 96 dpi of one side: from the goal size in twips, else from
// the picture's own size, then scaled in percent.
int64_t TwinSide(int64_t goal, int64_t raw, int64_t scale) {
    int64_t p = goal > 0 ? (goal + 1) * 96 / 1440 : raw + 1;
    return std::clamp<int64_t>(scale * p / 100, 0, INT32_MAX);
}

class TwinWriter {
public:
    TwinWriter(std::string_view rtf, const TwinConverter& convert) : in_(rtf), tok_(rtf), convert_(convert) {
        // Looking ahead for the result of objects may read the input a few
        // times over, never more.
        scanBudget_ = rtf.size() * 4 + (size_t(1) << 20);
    }

    std::string Run();

private:
    void CopyTo(size_t pos) {
        if (pos > copied_) out_.append(in_.substr(copied_, pos - copied_));
        copied_ = std::max(copied_, pos);
    }
    void Object(const RtfToken& word);
    void Picture();
    bool MakeTwin(PictInfo& pict, std::string& twin);
    size_t OldTwinEnd(size_t pos);

    std::string_view in_;
    RtfTokenizer tok_;
    const TwinConverter& convert_;
    std::string out_;
    size_t copied_ = 0;
    size_t scanBudget_ = 0;
};

std::string TwinWriter::Run() {
    RtfToken t;
    if (!IsRtfText(in_) || !tok_.Next(t) || t.type != RtfTokenType::GroupOpen || !tok_.Next(t) ||
        t.type != RtfTokenType::Word || t.word != "rtf")
        return std::string(in_);
    out_.reserve(in_.size() + in_.size() / 2 + 64);
    CopyTo(t.end);
    size_t next = t.end;
    while (next < in_.size() && (in_[next] == '\r' || in_[next] == '\n')) ++next;
    if (in_.substr(next, kMarker.size()) != kMarker) out_ += kMarker;

    bool afterOpen = false;
    while (tok_.Next(t)) {
        if (t.type == RtfTokenType::Error) break;
        const bool groupStart = afterOpen;
        afterOpen = t.type == RtfTokenType::GroupOpen;
        if (t.type != RtfTokenType::Word) continue;
        if (t.word == "object")
            Object(t);
        else if (t.word == "pict" && groupStart)
            Picture();
    }
    CopyTo(in_.size());
    return std::move(out_);
}

// "\object" up to "\result" is dropped and "{" written in its place. The
// result must open a group directly inside the object's group; an object
// without one stays as it is.
void TwinWriter::Object(const RtfToken& word) {
    const int depth = tok_.Depth();
    RtfTokenizer scan = tok_;
    RtfToken t;
    const size_t start = scan.Position();
    bool found = false;
    while (scan.Next(t)) {
        if (scan.Position() - start > scanBudget_) break;
        if (t.type == RtfTokenType::Error) break;
        if (t.type == RtfTokenType::GroupClose && scan.Depth() < depth) break;
        if (t.type == RtfTokenType::Word && t.word == "result" && scan.Depth() == depth + 1) {
            found = true;
            break;
        }
    }
    const size_t read = scan.Position() - start;
    scanBudget_ -= std::min(scanBudget_, read);
    if (!found) return;
    CopyTo(word.offset);
    out_ += '{';
    copied_ = t.end;
    tok_ = scan;
}

void TwinWriter::Picture() {
    const int depth = tok_.Depth();
    const bool truncatedBefore = tok_.Truncated();
    PictInfo pict;
    RtfToken t;
    bool closed = false;
    while (tok_.Next(t)) {
        if (t.type == RtfTokenType::Error) return;
        if (t.type == RtfTokenType::GroupClose && tok_.Depth() < depth) {
            closed = true;
            break;
        }
        if (tok_.Depth() != depth) continue;  // nested groups (\picprop, \blipuid) hold no data
        switch (t.type) {
        case RtfTokenType::Word: pict.Word(t); break;
        case RtfTokenType::Text: pict.Hex(t.text); break;
        case RtfTokenType::Binary:
            pict.data.append(t.text);
            if (tok_.Truncated() != truncatedBefore) pict.damaged = true;
            break;
        default: break;
        }
    }
    if (!closed || pict.damaged) return;
    const size_t end = t.end;
    std::string twin;
    if (!MakeTwin(pict, twin)) return;
    CopyTo(end);
    out_ += twin;
    // A twin from an earlier pass gives way to the fresh one.
    size_t old = OldTwinEnd(end);
    if (old > end) {
        copied_ = old;
        RtfTokenizer skip = tok_;
        skip.Seek(old, tok_.Depth());
        tok_ = skip;
    }
}

bool TwinWriter::MakeTwin(PictInfo& pict, std::string& twin) {
    std::string file;
    std::string_view twinData;
    const char* word = "ztxjpeg";
    switch (pict.kind) {
    case PictureKind::Png:
        word = "ztxpng";
        twinData = pict.data;
        break;
    case PictureKind::Jpeg: twinData = pict.data; break;
    case PictureKind::Metafile:
    case PictureKind::MacPict:
    case PictureKind::Bitmap:
        file = PictureFileOf(pict.kind, std::move(pict.data), pict.picw, pict.pich, pict.mapMode, pict.goalw,
                             pict.goalh);
        break;
    case PictureKind::Unknown: return false;
    }
    std::string jpeg;
    if (!file.empty()) {
        if (!convert_ || !convert_(pict.kind, file, jpeg)) return false;
        twinData = jpeg;
    }
    if (twinData.empty()) return false;

    // A twin must be a picture a browser can show.
    int pw = 0, ph = 0;
    if (!ImagePixelSize(twinData, pw, ph)) return false;
    // Without goal and picture size the picture's own size counts.
    int64_t rawW = pict.goalw <= 0 && pict.picw <= 0 ? pw - 1 : pict.picw;
    int64_t rawH = pict.goalh <= 0 && pict.pich <= 0 ? ph - 1 : pict.pich;
    int64_t w = TwinSide(pict.goalw, rawW, pict.scalex);
    int64_t h = TwinSide(pict.goalh, rawH, pict.scaley);
    twin.reserve(twinData.size() * 4 / 3 + twinData.size() / 45 * 2 + 64);
    twin += "{\\*\\";
    twin += word;
    twin += "\\ztxwidth" + std::to_string(w) + "\\ztxheight" + std::to_string(h) + " ";
    twin += EncodeLines(twinData);
    twin += "}\r\n";
    return true;
}

// The end of a twin group (and its line break) that starts at `pos`, after
// line breaks; `pos` when there is none.
size_t TwinWriter::OldTwinEnd(size_t pos) {
    size_t p = pos;
    while (p < in_.size() && (in_[p] == '\r' || in_[p] == '\n')) ++p;
    std::string_view rest = in_.substr(p);
    std::string_view kind;
    for (std::string_view k : {std::string_view("{\\*\\ztxpng"), std::string_view("{\\*\\ztxjpeg")})
        if (rest.substr(0, k.size()) == k) kind = k;
    if (kind.empty()) return pos;
    const char next = rest.size() > kind.size() ? rest[kind.size()] : '\0';
    if ((next | 0x20) >= 'a' && (next | 0x20) <= 'z') return pos;
    RtfTokenizer scan(in_);
    scan.Seek(p, 0);
    RtfToken t;
    size_t end = pos;
    while (scan.Next(t)) {
        if (t.type == RtfTokenType::Error || scan.Position() - p > scanBudget_) break;
        if (t.type == RtfTokenType::GroupClose && scan.Depth() == 0) {
            end = t.end;
            if (in_.substr(end, 2) == "\r\n") end += 2;
            break;
        }
    }
    scanBudget_ -= std::min(scanBudget_, scan.Position() - p);
    return end;
}

} // namespace

std::string TwinPass(std::string_view rtf, const TwinConverter& convert) {
    TwinWriter writer(rtf, convert);
    return writer.Run();
}

std::string TwinPass(std::string_view rtf) {
    static const TwinConverter kConvert = [](PictureKind, std::string_view file, std::string& jpeg) {
        return ConvertPictureDataToJpeg(file, kPictureJpegQuality, jpeg);
    };
    return TwinPass(rtf, kConvert);
}

} // namespace zt
