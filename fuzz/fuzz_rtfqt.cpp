// Feeds arbitrary bytes to the text view's RTF reader and writes the document
// back: the writer's output must load again, and the writer must reach its
// fixed point: loading and writing once more gives the same RTF, or, for
// damaged input whose first reading the writer still tidies (a table never
// closed holding list paragraphs), the next round does.
#include "text/qt/rtfdocument.h"

#include "fuzz_guiapp.h"

#include <QTextCursor>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(12);
    QTextDocument doc;
    doc.setDefaultFont(font);
    if (!zt::textqt::LoadRtf(input, doc)) return 0;
    std::string out = zt::textqt::WriteRtf(doc);
    QTextDocument again;
    again.setDefaultFont(font);
    if (!zt::textqt::LoadRtf(out, again)) __builtin_trap();
    const std::string second = zt::textqt::WriteRtf(again);
    if (second != out) {
        QTextDocument third;
        third.setDefaultFont(font);
        if (!zt::textqt::LoadRtf(second, third)) __builtin_trap();
        if (zt::textqt::WriteRtf(third) != second) __builtin_trap();
    }
    // Pasting the text into the middle of another keeps the reader in bounds.
    QTextCursor c(&again);
    c.setPosition(again.characterCount() / 2);
    zt::textqt::InsertRtf(input, c);
    return 0;
}
