// Speed of the text view's RTF bridge: a generated page of about 1 MB of
// formatted RTF (fonts, sizes, bold and italic runs, colours, indents, tab
// stops, bullets, \uN characters, a table and pictures) loaded into a
// QTextDocument and written back. Switching between two such pages costs one
// write and one load; the figures are set against a budget of 100 ms.
#include "benchutil.h"
#include "text/qt/rtfdocument.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>

#include <cstdio>
#include <random>
#include <string>

namespace {

using zt::bench::BestSeconds;

std::string PngHex() {
    QImage img(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 8));
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes.toHex().toStdString();
}

std::string MakePage(size_t target) {
    static const char* kWords[] = {"Notiz", "Seite", "Zettel", "Stichwort", "Verweis", "Eintrag", "Text",
                                   "Gr\\'fc\\'dfe", "M\\'e4rz", "\\u8364?", "\\u945?", "Absatz", "und", "oder"};
    std::mt19937 rng(5);
    std::string png = PngHex();
    std::string r = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
                    "{\\f1\\fnil\\fcharset0 Times New Roman;}{\\f2\\fnil\\fcharset0 Courier New;}"
                    "{\\f3\\fnil\\fcharset2 Symbol;}}\r\n"
                    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue0;\\red0\\green0\\blue255;}\r\n"
                    "\\viewkind4\\uc1\\pard\\f0\\fs24 ";
    int para = 0;
    while (r.size() < target) {
        ++para;
        if (para % 200 == 0) {
            r += "\\trowd\\cellx2000\\cellx4000\\cellx6000";
            for (int row = 0; row < 4; ++row) {
                r += "\\pard\\intbl ";
                for (int c = 0; c < 3; ++c) r += "Zelle " + std::to_string(row * 3 + c) + "\\cell ";
                r += "\\row ";
            }
            r += "\\pard ";
        }
        if (para % 97 == 0) r += "{\\pict\\pngblip\\picw64\\pich48\\picwgoal960\\pichgoal720 " + png + "}\\par\r\n";
        if (para % 10 < 3)
            r += "\\pard{\\pntext\\f3\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf3\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720 ";
        else if (para % 10 == 3)
            r += "\\pard\\li360\\tx1440\\tx2880\\qj ";
        else
            r += "\\pard ";
        int words = 8 + int(rng() % 30);
        for (int w = 0; w < words; ++w) {
            switch (rng() % 40) {
            case 0: r += "\\b "; break;
            case 1: r += "\\b0 "; break;
            case 2: r += "\\i "; break;
            case 3: r += "\\i0 "; break;
            case 4: r += "\\cf" + std::to_string(rng() % 4) + ' '; break;
            case 5: r += "\\f" + std::to_string(rng() % 3) + "\\fs" + std::to_string(18 + 2 * (rng() % 8)) + ' '; break;
            default: break;
            }
            r += kWords[rng() % (sizeof kWords / sizeof *kWords)];
            r += rng() % 19 == 0 ? "\\tab " : " ";
        }
        r += "\\par\r\n";
    }
    return r + "}\r\n";
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::string page = MakePage(1 << 20);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(12);

    QTextDocument doc;
    doc.setDefaultFont(font);
    double load = BestSeconds(5, [&] { zt::textqt::LoadRtf(page, doc); });
    std::string written;
    double write = BestSeconds(5, [&] { written = zt::textqt::WriteRtf(doc); });
    QTextDocument other;
    other.setDefaultFont(font);
    zt::textqt::LoadRtf(written, other);
    double reload = BestSeconds(5, [&] { zt::textqt::LoadRtf(written, other); });

    int runs = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) ++runs;
    std::printf("| what | time | figure |\n|---|---|---|\n");
    std::printf("| load of a generated page (%.2f MB, %d paragraphs, %d runs) | %.1f ms | %.1f MB/s |\n",
                page.size() / 1048576.0, doc.blockCount(), runs, load * 1e3, page.size() / 1048576.0 / load);
    std::printf("| write of the loaded page (%.2f MB out) | %.1f ms | %.1f MB/s |\n", written.size() / 1048576.0,
                write * 1e3, written.size() / 1048576.0 / write);
    std::printf("| load of the written page | %.1f ms | %.1f MB/s |\n", reload * 1e3,
                written.size() / 1048576.0 / reload);
    std::printf("| page switch (write one, load the other) | %.1f ms | %.0f %% of 100 ms |\n",
                (write + reload) * 1e3, (write + reload) * 1e3);
    return 0;
}
