// Feeds arbitrary bytes to the revision container reader (as the data after
// the tag "ZT09") and to the revision body reader (BER and XML). Whatever
// reads without error is joined revision by revision, written again and must
// read back with the same revisions.
#include "base/system.h"
#include "core/docstream.h"
#include "core/revisions.h"
#include "core/ztexception.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class FixedClock : public zt::Clock {
public:
    int64_t Now() const override { return 1700000000; }
};

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void Exercise(CZTDocCore& core, const CZTPageList& pages) {
    std::vector<CZTRevisionKey> keys;
    core.history.ListRevisions(keys);
    for (const auto& k : keys) {
        std::string body;
        if (!core.history.GetRevisionBody(k.time, k.visible, body)) continue;
        CZTDocCore scratch;
        CZTPageList scratchPages;
        try {
            zt::ReadRevisionBody(body, scratch, scratchPages);
        } catch (const CZTDocCoreException&) {
        }
    }
    // Written again, the container reads back with every revision and the new one.
    CZTDocStream out = CZTDocStream::StoringMemory();
    std::vector<std::string> problems;
    zt::WriteRevisionContainer(out, core, pages, problems);
    CZTDocStream in = CZTDocStream::Loading(out.TakeData());
    CZTDocCore back;
    CZTPageList backPages;
    try {
        zt::ReadRevisionDocument(in, back, backPages, true, false);
    } catch (const CZTDocCoreException&) {
        Check(false);
    }
    std::vector<CZTRevisionKey> written;
    back.history.ListRevisions(written);
    std::vector<CZTRevisionKey> expected;
    core.history.ListRevisions(expected);
    Check(written == expected);
    Check(backPages.size() == pages.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FixedClock clock;
    zt::SetClock(&clock);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (bool historyOnly : {false, true}) {
        CZTDocCore core;
        CZTPageList pages;
        CZTDocStream stream = CZTDocStream::Loading(bytes);
        try {
            zt::ReadRevisionDocument(stream, core, pages, true, historyOnly);
        } catch (const CZTDocCoreException&) {
            Check(core.history.Empty() && core.NodeCount() == 1 && pages.empty());
            continue;
        }
        if (!historyOnly) Exercise(core, pages);
    }
    CZTDocCore core;
    CZTPageList pages;
    try {
        zt::ReadRevisionBody(bytes, core, pages);
    } catch (const CZTDocCoreException&) {
        Check(core.NodeCount() == 1 && pages.empty());
    }
    return 0;
}
