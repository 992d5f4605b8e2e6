// Small builders of test pictures: packed device-independent bitmaps,
// Windows metafiles and enhanced metafiles record by record.
#pragma once

#include "base/bytes.h"
#include "text/pictures.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace zt::test {

// A packed bitmap with a 40-byte header: `rows` are the stored rows
// (bottom-up unless `topDown`), each padded here to 4 bytes.
inline std::string MakeDib(int width, int bits, const std::vector<std::string>& rows,
                           const std::vector<uint32_t>& palette = {}, bool topDown = false,
                           uint32_t compression = 0, const std::vector<uint32_t>& masks = {}) {
    std::string d;
    PutLE32(d, 40);
    PutLE32(d, uint32_t(width));
    int h = int(rows.size());
    PutLE32(d, uint32_t(topDown ? -h : h));
    PutLE16(d, 1);
    PutLE16(d, uint16_t(bits));
    PutLE32(d, compression);
    PutLE32(d, 0);
    PutLE32(d, 0);
    PutLE32(d, 0);
    PutLE32(d, uint32_t(palette.size()));
    PutLE32(d, 0);
    for (uint32_t m : masks) PutLE32(d, m);
    for (uint32_t c : palette) PutLE32(d, c);  // 0x00RRGGBB: stored as blue, green, red, 0
    for (std::string r : rows) {
        while (r.size() % 4) r.push_back('\0');
        d += r;
    }
    return d;
}

// A placeable metafile: box in units of `inch` per inch, then records.
class WmfBuilder {
public:
    WmfBuilder(int right, int bottom, int inch = 1440, int objects = 8) : objects_(objects) {
        head_ = PlaceableMetafileHeader(0, 0);
        // Rewrite box and units, keep the checksum right.
        auto set16 = [&](size_t at, int v) {
            head_[at] = char(v & 0xFF);
            head_[at + 1] = char((v >> 8) & 0xFF);
        };
        set16(10, right);
        set16(12, bottom);
        set16(14, inch);
        uint16_t sum = 0;
        for (size_t i = 0; i < 20; i += 2) sum ^= GetLE16(head_.data() + i);
        set16(20, sum);
    }
    // A record of `func` with 16-bit parameters in stored order.
    WmfBuilder& Rec(uint16_t func, std::initializer_list<int> words) {
        return Raw(func, Words(words));
    }
    // A record with raw parameter bytes (padded to 16 bits).
    WmfBuilder& Raw(uint16_t func, std::string params) {
        if (params.size() % 2) params.push_back('\0');
        PutLE32(body_, uint32_t(3 + params.size() / 2));
        PutLE16(body_, func);
        body_ += params;
        return *this;
    }
    static std::string Words(std::initializer_list<int> words) {
        std::string s;
        for (int w : words) PutLE16(s, uint16_t(w));
        return s;
    }
    std::string Build() const {
        std::string out = head_;
        std::string body = body_;
        PutLE32(body, 3);  // end of file
        PutLE16(body, 0);
        PutLE16(out, 1);   // memory metafile
        PutLE16(out, 9);   // header words
        PutLE16(out, 0x0300);
        PutLE32(out, uint32_t(9 + body.size() / 2));
        PutLE16(out, uint16_t(objects_));
        PutLE32(out, 0);
        PutLE16(out, 0);
        return out + body;
    }
    // The data as \wmetafile carries it: without the placeable header.
    std::string Records() const { return Build().substr(22); }

private:
    std::string head_, body_;
    int objects_;
};

// Record functions used by the tests.
enum : uint16_t {
    kWmfSetWindowOrg = 0x020B,
    kWmfSetWindowExt = 0x020C,
    kWmfCreatePen = 0x02FA,
    kWmfCreateBrush = 0x02FC,
    kWmfCreateFont = 0x02FB,
    kWmfSelectObject = 0x012D,
    kWmfDeleteObject = 0x01F0,
    kWmfRectangle = 0x041B,
    kWmfEllipse = 0x0418,
    kWmfPolygon = 0x0324,
    kWmfPolyline = 0x0325,
    kWmfTextOut = 0x0521,
    kWmfSetTextColor = 0x0209,
    kWmfSetBkMode = 0x0102,
    kWmfStretchDib = 0x0F43,
    kWmfSaveDc = 0x001E,
    kWmfRestoreDc = 0x0127,
    kWmfIntersectClipRect = 0x0416,
};

// The two words of a COLORREF (red in the low byte).
inline int ColorLo(uint32_t colorref) { return int(colorref & 0xFFFF); }
inline int ColorHi(uint32_t colorref) { return int(colorref >> 16); }


// An enhanced metafile on a reference device of 96 pixels per inch whose
// frame is `width` x `height` pixels; records follow the header.
class EmfBuilder {
public:
    EmfBuilder(int width, int height, int handles = 8) : width_(width), height_(height), handles_(handles) {}
    // A record of `type` with 32-bit parameters.
    EmfBuilder& Rec(uint32_t type, std::initializer_list<int64_t> params) {
        std::string p;
        for (int64_t v : params) PutLE32(p, uint32_t(v));
        return Raw(type, p);
    }
    // A record with raw parameter bytes (padded to 32 bits).
    EmfBuilder& Raw(uint32_t type, std::string params) {
        while (params.size() % 4) params.push_back('\0');
        PutLE32(body_, type);
        PutLE32(body_, uint32_t(8 + params.size()));
        body_ += params;
        ++records_;
        return *this;
    }
    // Bytes as they are, for records of any shape.
    EmfBuilder& Bytes(const std::string& bytes) {
        body_ += bytes;
        ++records_;
        return *this;
    }
    static std::string Ints(std::initializer_list<int64_t> values) {
        std::string s;
        for (int64_t v : values) PutLE32(s, uint32_t(v));
        return s;
    }
    std::string Build() const {
        std::string body = body_;
        PutLE32(body, 14);  // end of file: no palette
        PutLE32(body, 20);
        PutLE32(body, 0);
        PutLE32(body, 16);
        PutLE32(body, 20);
        std::string h;
        PutLE32(h, 1);
        PutLE32(h, 88);
        for (int v : {0, 0, width_ - 1, height_ - 1}) PutLE32(h, uint32_t(v));  // bounds, pixels
        for (int v : {0, 0, width_ * 2540 / 96, height_ * 2540 / 96}) PutLE32(h, uint32_t(v));  // frame
        PutLE32(h, 0x464D4520);
        PutLE32(h, 0x10000);
        PutLE32(h, uint32_t(88 + body.size()));
        PutLE32(h, uint32_t(records_ + 2));
        PutLE16(h, uint16_t(handles_));
        PutLE16(h, 0);
        PutLE32(h, 0);  // description
        PutLE32(h, 0);
        PutLE32(h, 0);  // palette entries
        PutLE32(h, 960);  // reference device: 960 x 960 pixels on 254 x 254 mm
        PutLE32(h, 960);
        PutLE32(h, 254);
        PutLE32(h, 254);
        return h + body;
    }

private:
    std::string body_;
    int width_, height_, handles_;
    int records_ = 0;
};

// Record types used by the tests.
enum : uint32_t {
    kEmfPolyline = 4,
    kEmfSetWindowExtEx = 9,
    kEmfSetWindowOrgEx = 10,
    kEmfSetViewportExtEx = 11,
    kEmfSetMapMode = 17,
    kEmfSetBkMode = 18,
    kEmfSetTextAlign = 22,
    kEmfSetTextColor = 24,
    kEmfSaveDc = 33,
    kEmfRestoreDc = 34,
    kEmfSetWorldTransform = 35,
    kEmfSelectObject = 37,
    kEmfCreatePen = 38,
    kEmfCreateBrushIndirect = 39,
    kEmfDeleteObject = 40,
    kEmfEllipse = 42,
    kEmfRectangle = 43,
    kEmfBeginPath = 59,
    kEmfEndPath = 60,
    kEmfFillPath = 62,
    kEmfStretchDibits = 81,
    kEmfExtCreateFontIndirectW = 82,
    kEmfExtTextOutW = 84,
    kEmfPolygon16 = 86,
    kEmfPolyline16 = 87,
    kEmfPolyPolygon16 = 91,
    kEmfMoveToEx = 27,
    kEmfLineTo = 54,
};
constexpr int64_t kEmfStock = 0x80000000;  // stock object handles

} // namespace zt::test
