// Loading and rendering pictures: PNG, JPEG, BMP and GIF through QImage,
// packed device-independent bitmaps without file header (the data of
// \dibitmap pictures), placeable Windows metafiles, enhanced metafiles and
// Mac pictures (with their 512-byte prefix) through our own readers. Works
// without a display; text in metafiles and Mac pictures needs a
// QGuiApplication for its fonts and is left out without one.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QImage;
class QPainter;
class QRectF;

namespace zt {

class Picture {
public:
    // The largest side of a rendered picture; larger pictures are drawn
    // smaller, keeping their proportions.
    static constexpr int kMaxRenderSide = 2048;

    bool IsMetafile() const;
    // The picture's size in hundredths of a millimetre.
    int WidthHimetric() const;
    int HeightHimetric() const;
    // Draws the whole picture into `target`.
    void Draw(QPainter& painter, const QRectF& target) const;

    struct Data;
    explicit Picture(std::shared_ptr<const Data> d) : d_(std::move(d)) {}

private:
    std::shared_ptr<const Data> d_;
};

// The picture in `bytes`, or nothing when no reader accepts them.
std::optional<Picture> LoadPictureData(std::string_view bytes);
// The same from a file; nothing when the path is empty, the file is missing
// or empty, or no reader accepts it.
std::optional<Picture> LoadPictureFile(const std::string& path);

// Width and height in pixels at `dpi`: the size in hundredths of a
// millimetre x dpi / 2540, rounded.
struct PixelSize {
    int width = 0, height = 0;
};
PixelSize PictureSizePixels(const Picture& picture, int dpi = 96);

// The picture drawn over white at its pixel size at 96 dpi (at most
// kMaxRenderSide per side). A null image when it cannot be drawn.
QImage RenderPicture(const Picture& picture);
QImage RenderPictureFile(const std::string& path);

// The image as a packed device-independent bitmap in its own colour depth:
// 1 and 8 bits with a colour table, 16 bits (5-5-5) and 32 bits with their
// three bit masks, 24 bits without table; rows bottom-up, each padded to a
// multiple of 4 bytes. Images of other formats are drawn over white into 32
// bits. Empty for a null image.
std::string BitmapToDib(const QImage& image);

} // namespace zt
