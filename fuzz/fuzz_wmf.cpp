// Feeds arbitrary bytes to the picture readers: as a metafile (behind a
// placeable header when the input lacks one), as an enhanced metafile
// (behind a header record when the input lacks one), as a Mac picture
// (behind the 512-byte prefix), as a packed bitmap, and through the whole
// conversion to JPEG.
#include "base/bytes.h"
#include "text/dib.h"
#include "text/emfrender.h"
#include "text/jpegwriter.h"
#include "text/pictrender.h"
#include "text/picture.h"
#include "text/pictures.h"
#include "text/wmfrender.h"

#include "fuzz_guiapp.h"

#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The header record of an enhanced metafile of 64 x 64 pixels on a reference
// device of 96 pixels per inch, for inputs that are records only.
std::string EmfHeaderRecord(size_t bodySize) {
    std::string h;
    for (uint32_t v : {1u, 88u, 0u, 0u, 63u, 63u, 0u, 0u, 1693u, 1693u, 0x464D4520u, 0x10000u})
        zt::PutLE32(h, v);
    zt::PutLE32(h, uint32_t(88 + bodySize));
    zt::PutLE32(h, 0);
    zt::PutLE16(h, 16);
    zt::PutLE16(h, 0);
    for (uint32_t v : {0u, 0u, 0u, 960u, 960u, 254u, 254u}) zt::PutLE32(h, v);
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);

    std::string wmf(input);
    zt::PlaceableHeader header;
    if (!zt::ReadPlaceableHeader(wmf, header)) wmf = zt::PlaceableMetafileHeader(1440, 1440) + wmf;
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        zt::DrawWmf(wmf, painter, QRectF(0, 0, 64, 64));
        zt::EmfHeader emfHeader;
        if (zt::ReadEmfHeader(input, emfHeader))
            zt::DrawEmf(input, painter, QRectF(0, 0, 64, 64));
        else
            zt::DrawEmf(EmfHeaderRecord(input.size()) + std::string(input), painter, QRectF(0, 0, 64, 64));
        zt::DrawPict(zt::MacPictPrefix() + std::string(input), painter, QRectF(0, 0, 64, 64));
    }

    zt::DibReader dib;
    if (dib.Parse(input)) {
        std::vector<uint8_t> row(size_t(dib.Width()) * 3);
        for (int y = 0; y < dib.Height(); ++y) dib.RowRgb(y, row.data());
    }

    std::string jpeg;
    zt::ConvertPictureDataToJpeg(input, 60, jpeg);
    return 0;
}
