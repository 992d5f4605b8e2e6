// What the text view's RTF tests share: loading into a document with the
// view's default font, and reading a fixture of tests/data/rtf.
#pragma once

#include "support/tempdir.h"
#include "text/qt/rtfdocument.h"

#include <QFont>
#include <QTextDocument>

#include <string>

namespace zt::textqt::testutil {

inline bool Load(const std::string& rtf, QTextDocument& doc) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(12);
    doc.setDefaultFont(f);
    return LoadRtf(rtf, doc);
}

inline std::string ReadData(const std::string& name) {
    return zt::test::ReadFile(std::string(ZT_TEST_DATA) + "/rtf/" + name);
}

} // namespace zt::textqt::testutil
