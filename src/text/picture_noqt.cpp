// Picture conversion without Qt: only packed device-independent bitmaps,
// which the JPEG writer reads itself.
#include "text/jpegwriter.h"
#include "text/pictures.h"

namespace zt {

bool ConvertPictureDataToJpeg(std::string_view data, int quality, std::string& jpeg) {
    if (quality < 1) quality = 10;
    if (quality > 100) quality = 100;
    return EncodeJpeg(data, quality, jpeg);
}

} // namespace zt
