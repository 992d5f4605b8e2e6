// Feeds arbitrary bytes to the lenient XML reader and asks every question of it.
#include "base/xml.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace zt::xml;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void Exercise(std::string_view text, const Limits& limits) {
    Document doc = Parse(text, limits);
    const Node& root = doc.Root();
    Check(doc.NodeCount() <= limits.maxNodes);
    // Decoding never makes a text longer.
    Check(TextOf(root).size() <= text.size());
    for (const Node* n : FindElements(root, "xml_zettrix", -1)) {
        (void)PathOf(*n);
        (void)VersionOf(*n);
        (void)IsEnvelopeRoot(doc, n, 2, false);
        for (const Node* a : FindElements(*n, "a", 0))
            (void)IsEnvelopeRoot(doc, a, 2, true);
    }
    size_t seen = 0;
    for (const Node* n : FindElements(root, "a", -1)) {
        Check(n->owner == doc.Id() && !n->IsText());
        (void)AttributeOf(*n, "version");
        (void)TextOf(*n);
        if (++seen > 64) break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Exercise(text, Limits());
    Limits tight;
    tight.maxDepth = 8;
    tight.maxNodes = 64;
    tight.maxDecodedBytes = 256;
    Exercise(text, tight);
    Check(DecodeEntities(text).size() <= text.size());
    return 0;
}
