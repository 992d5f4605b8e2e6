// Feeds arbitrary bytes to the document reader, as an opened file, as an
// inserted file and as a listing.
#include "core/docstream.h"
#include "core/serializer.h"
#include "core/ztexception.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int mode = 0; mode < 3; ++mode) {
        CZTDocCore core;
        CZTPageList pages;
        CZTDiscInfo header;
        CZTDocStream stream = CZTDocStream::Loading(bytes, "/nonexistent/fuzz.ztd");
        CZTDocSerializer serializer(stream);
        try {
            if (mode == 2) {
                serializer.ReadListing(pages, &header);
            } else if (serializer.Read(core, pages, &header, mode == 0)) {
                for (const auto& p : pages) {
                    CZTPageRecord r = core.GetPage(p.ident);
                    r.GetText();
                    int32_t pos = 0;
                    for (std::string n = core.FileName(p.ident, pos); pos >= 0; n = core.FileName(p.ident, pos))
                        core.GetFile(p.ident, n).GetText();
                }
            }
        } catch (const CZTDocCoreException&) {
        }
    }
    return 0;
}
