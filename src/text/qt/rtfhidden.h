// Hidden text (\v): Qt has no hidden characters, so hidden runs stay out of
// the visible text. They ride as properties on the character right after
// them (or, at the end of a paragraph, the one right before, or the
// paragraph itself when it shows nothing) and are written back as {\v ...}.
#pragma once

#include <QString>

#include <string_view>

class QTextCharFormat;
class QTextCursor;

namespace zt::textqt::detail {

class HiddenText {
public:
    // Gathers hidden characters; U+2029 stands for a hidden paragraph mark.
    void Add(std::u16string_view s);
    bool Pending() const { return !pending_.isEmpty(); }

    // Inserts the first character of `s` with the pending text attached
    // (format `f` otherwise) and drops it from `s`.
    void InsertBefore(QTextCursor& cursor, const QTextCharFormat& f, std::u16string_view& s);

    // Attaches the pending text at the end of the cursor's paragraph: to the
    // character before the cursor, else to the paragraph.
    void AttachAtBlockEnd(QTextCursor& cursor);

private:
    QString pending_;
    int total_ = 0;
};

} // namespace zt::textqt::detail
