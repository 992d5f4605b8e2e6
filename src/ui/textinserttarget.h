// What the files list inserts into: the text view.
#pragma once

#include <string>

class QByteArray;

namespace zt::ui {

// Where the files view puts a file's content into the page text: the text
// view at its selection. Set by the main window; without one the insert
// commands are disabled.
struct ITextInsertTarget {
    virtual ~ITextInsertTarget() = default;
    // False while the text cannot be changed (no page, a read-only document).
    virtual bool CanInsert() const { return true; }
    // Text at the selection, in insert mode: RTF when `isRtf`, else plain
    // text, UTF-8 when it is well-formed UTF-8 and Windows-1252 otherwise.
    // The target marks the page changed.
    virtual bool InsertText(const std::string& bytes, bool isRtf) = 0;
    // A picture file's bytes as an embedded picture at the selection, the
    // caret after it.
    virtual bool InsertPicture(const QByteArray& bytes) = 0;
};

} // namespace zt::ui
