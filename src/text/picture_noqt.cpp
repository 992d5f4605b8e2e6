// Picture conversion without Qt: only device-independent bitmaps (packed, or
// as .bmp files), which the JPEG writer reads itself.
#include "text/jpegwriter.h"
#include "text/pictures.h"

namespace zt {

bool ConvertPictureDataToJpeg(std::string_view data, int quality, std::string& jpeg) {
    if (quality < 1) quality = 10;
    if (quality > 100) quality = 100;
    if (data.size() > 14 && data.substr(0, 2) == "BM") data.remove_prefix(14);
    return EncodeJpeg(data, quality, jpeg);
}

} // namespace zt
