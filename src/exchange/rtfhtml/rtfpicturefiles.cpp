// Pictures and picture twins written as files beside the HTML, and their image tags.
#include "exchange/rtfhtml/rtfconverter_impl.h"

#include "base/fileio.h"
#include "exchange/rtfhtml/rtfpictures.h"
#include "text/pagertf.h"

#include <cstdio>

namespace zt {

namespace {

using Impl = RtfConverter::Impl;

int PixelSize(int64_t goal, int64_t raw, int64_t scale) {
    int64_t px = goal > 0 ? (goal * 96 + 96) / 1440 : raw + 1;
    if (scale > 0 && scale != 100) px = px * scale / 100;
    return int(std::clamp<int64_t>(px, 0, 100000));
}

// Pictures beside an HTML file take the atomic path of every output file.
bool WriteFile(const std::string& path, std::string_view head, std::string_view data) {
    zt::CAtomicFileWriter f;
    return f.Open(path) && f.Write(head) && f.Write(data) && f.Commit();
}

} // namespace

void Impl::PictWord(RtfKw kw, const RtfToken& t) {
    int64_t v = t.hasParam ? t.param : 0;
    switch (kw) {
    case RtfKw::jpegblip: pict_.kind = RtfPictureKind::Jpeg; break;
    case RtfKw::pngblip: pict_.kind = RtfPictureKind::Png; break;
    case RtfKw::dibitmap: pict_.kind = RtfPictureKind::Bitmap; break;
    case RtfKw::wmetafile:
        pict_.kind = RtfPictureKind::Metafile;
        pict_.mapMode = t.hasParam ? t.param : 1;
        break;
    case RtfKw::macpict: pict_.kind = RtfPictureKind::MacPict; break;
    case RtfKw::emfblip:
    case RtfKw::wbitmap: pict_.kind = RtfPictureKind::Unknown; break;
    case RtfKw::picw: pict_.picw = v; break;
    case RtfKw::pich: pict_.pich = v; break;
    case RtfKw::picwgoal: pict_.goalw = v; break;
    case RtfKw::pichgoal: pict_.goalh = v; break;
    case RtfKw::picscalex: pict_.scalex = v; break;
    case RtfKw::picscaley: pict_.scaley = v; break;
    default:
        if (RtfWordKind(kw) == RtfKwKind::Dest) SkipGroup();
        break;
    }
}

std::string Impl::PictureName(int number, const char* ext) const {
    return pictureBase_ + "Img" + Int(number) + "." + ext;
}

void Impl::FinishPicture() {
    int number = pictureCounter++;
    ++shppictPictures_;
    if (pictureBase_.empty()) return;
    const char* ext = "unknown";
    std::string head;
    switch (pict_.kind) {
    case RtfPictureKind::Jpeg: ext = "jpg"; break;
    case RtfPictureKind::Png: ext = "png"; break;
    case RtfPictureKind::Bitmap:
        ext = "bmp";
        head = rtfhtml::BitmapFileHeader(pict_.data);
        break;
    case RtfPictureKind::Metafile:
        ext = "wmf";
        head = rtfhtml::PlaceableMetafileHeader(rtfhtml::MetafileExtent(pict_.picw, pict_.mapMode),
                                                rtfhtml::MetafileExtent(pict_.pich, pict_.mapMode));
        break;
    case RtfPictureKind::MacPict:
        ext = "pict";
        head = rtfhtml::MacPictPrefix();
        break;
    case RtfPictureKind::Unknown: break;
    }
    std::string path = PictureName(number, ext);
    if (!WriteFile(path, head, pict_.data)) {
        message = "Can't open picture file '" + path + "'";
        return;
    }
    int w = PixelSize(pict_.goalw, pict_.picw, pict_.scalex);
    int h = PixelSize(pict_.goalh, pict_.pich, pict_.scaley);
    if (pict_.kind != RtfPictureKind::Jpeg && pict_.kind != RtfPictureKind::Png && settings.pictureConverter) {
        std::string jpg = PictureName(number, "jpg");
        if (settings.pictureConverter(path, pict_.kind, jpg)) {
            if (options.deleteSourcePictures) std::remove(path.c_str());
            path = jpg;
        }
    }
    pict_.data.clear();
    pict_.data.shrink_to_fit();
    WriteImageTag(path, w, h);
}

void Impl::FinishTwin() {
    std::string data;
    bool ok = DecodeLines(twin_.text, data) && !data.empty();
    twin_.text.clear();
    twin_.text.shrink_to_fit();
    if (!ok) return;
    int number = pictureCounter++;
    ++shppictPictures_;
    if (pictureBase_.empty()) return;
    std::string path = PictureName(number, twin_.png ? "png" : "jpg");
    if (!WriteFile(path, {}, data)) {
        message = "Can't open picture file '" + path + "'";
        return;
    }
    int w = int(std::clamp<int64_t>(twin_.width, 0, 100000));
    int h = int(std::clamp<int64_t>(twin_.height, 0, 100000));
    if (w <= 0 || h <= 0) {
        int pw = 0, ph = 0;
        if (rtfhtml::ImagePixelSize(data, pw, ph)) {
            w = pw;
            h = ph;
        } else {
            w = h = 100;
        }
    }
    WriteImageTag(path, w, h);
}

void Impl::WriteImageTag(const std::string& path, int w, int h) {
    size_t slash = path.find_last_of('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    PrepareBlock();
    std::string m = "\n<IMG SRC=\"";
    rtfhtml::AppendHtmlEscaped(m, settings.imagePrefix + file);
    m += "\" ALT=\"";
    rtfhtml::AppendHtmlEscaped(m, file);
    m += "\" WIDTH=" + Int(w) + " HEIGHT=" + Int(h) + ">\n";
    Markup(m);
}

} // namespace zt
