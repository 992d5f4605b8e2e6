#include "text/jpegwriter.h"

#include "base/fileio.h"
#include "text/dib.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace zt {

namespace {

constexpr const char* kInvalidInput = "Invalid input data";
constexpr const char* kInvalidBitCount = "Invalid bitmap bit count";

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Runs the compressor over the rows of `dib`; kept apart from EncodeJpeg so
// that no object with a destructor lives in the frame that longjmp leaves.
bool Compress(const DibReader& dib, int quality, unsigned char*& buffer, unsigned long& size, uint8_t* row,
              char* message) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(dib.Width());
    cinfo.image_height = JDIMENSION(dib.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        dib.RowRgb(int(cinfo.next_scanline), row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool EncodeJpeg(std::string_view dibData, int quality, std::string& jpeg, std::string* error) {
    jpeg.clear();
    if (quality < 0 || quality > 100 || dibData.empty()) {
        SetError(error, kInvalidInput);
        return false;
    }
    DibReader dib;
    if (!dib.Parse(dibData)) {
        SetError(error, dib.LastError() == DibReader::Error::BitCount ? kInvalidBitCount : kInvalidInput);
        return false;
    }
    std::vector<uint8_t> row(size_t(dib.Width()) * 3);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    bool ok = Compress(dib, quality, buffer, size, row.data(), message);
    if (ok) jpeg.assign(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    if (!ok) SetError(error, message);
    return ok;
}

bool WriteJpeg(std::string_view dib, int quality, const std::string& path, std::string* error) {
    if (path.empty()) {
        SetError(error, kInvalidInput);
        return false;
    }
    std::string jpeg;
    if (!EncodeJpeg(dib, quality, jpeg, error)) return false;
    // The atomic path of every output file: nothing half-written is left.
    CAtomicFileWriter file;
    if (!file.Open(path)) {
        SetError(error, "Cannot open " + path);
        return false;
    }
    if (!file.Write(jpeg) || !file.Commit()) {
        SetError(error, "Cannot write " + path);
        return false;
    }
    return true;
}

} // namespace zt
