// The twin pass: what a page text becomes when it is stored. The RTF stays
// as it is, byte for byte, except that
//  - the marker group "{\*\ztxpict}" follows the version word "\rtf1",
//  - every embedded object is reduced to its result: the tokens from
//    "\object" up to "\result" are dropped and an opening brace takes their
//    place, so that only the result group with its picture remains,
//  - every picture group whose picture is PNG or JPEG, or can be converted
//    to JPEG (metafiles, Mac pictures, device-independent bitmaps), is
//    followed by a twin group "{\*\ztxpng..." or "{\*\ztxjpeg..." holding
//    the picture file in the line code, with its displayed size in pixels.
// Readers that skip ignorable destinations see the text as before; the HTML
// converter shows the twins.
#pragma once

#include "text/pictures.h"

#include <functional>
#include <string>
#include <string_view>

namespace zt {

// Turns the file bytes of a picture of `kind` (a placeable metafile, a Mac
// picture with its 512-byte prefix, a packed bitmap) into a JPEG file.
using TwinConverter = std::function<bool(PictureKind kind, std::string_view file, std::string& jpeg)>;

// The stored form of `rtf`. Pictures are converted with
// ConvertPictureDataToJpeg at quality 60. A text that is not RTF is
// returned unchanged; a picture that cannot be converted gets no twin.
// Running the pass again over its own result changes nothing.
std::string TwinPass(std::string_view rtf);
std::string TwinPass(std::string_view rtf, const TwinConverter& convert);

} // namespace zt
