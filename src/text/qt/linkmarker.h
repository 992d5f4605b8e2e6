// Automatic links in the text view: addresses such as "http://..." or
// "zt:/Page" are found in the text and shown blue and underlined. The marks are
// a display overlay of the view (the layout's additional formats), never part
// of the document's character formats: they are not saved, not copied, and
// neither touch the modification flag nor the undo stack. They follow every
// edit by themselves, block by block.
#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class QPointF;
class QTextCursor;
class QTextDocument;

namespace zt::textqt {

// A link found in a text: UTF-16 offset and length.
struct LinkRange {
    int start = 0;
    int length = 0;
    int end() const { return start + length; }
    bool operator==(const LinkRange&) const = default;
};

// The schemes automatic links start with, in the order they are looked for:
// "http://", "nntp://", "news://", "ftp://", "file:/", "mailto:", "https://",
// "gopher://", "prospero://", "telnet://", "wais://", "www.", "zt:", "ztf:".
const QList<QString>& LinkSchemes();

// A link may start at the beginning of the text or after one of these:
// blank, vertical tab, CR, LF, tab, " ' { [ ( <
bool IsLinkStartDelimiter(QChar c);
// A link ends before the first of these (or at the end of the text):
// blank, vertical tab, CR, LF, tab, " ' , : * [ { } ] ` U+00B4 ^ U+00B0 < >
// A closing parenthesis and a full stop do not end a link. The line and
// paragraph separators of the document (U+2028, U+2029) count as vertical tab
// and CR.
bool IsLinkEndDelimiter(QChar c);

// The links of a text: every case-sensitive occurrence of a scheme that starts
// the text or follows a start delimiter, running to the first end delimiter,
// provided at least one character follows the scheme. Overlapping finds (a
// link written inside another, "http://a(www.b") are joined into one range.
// Sorted by start.
QList<LinkRange> FindLinks(QStringView text);

// The text a "follow link" acts on: the selection when there is one, else the
// run of characters above blank around the caret (within its paragraph);
// leading and trailing white space removed.
QString LinkTextAround(const QTextCursor& cursor);

// True when `text` starts with a scheme of the table (case-sensitively) and
// at least one character follows it before an end delimiter: the condition
// under which "follow link" is offered.
bool IsFollowable(QStringView text);

} // namespace zt::textqt

// Shows the automatic links of a document. Create it on the view's document
// while that is still empty (it is owned by the document as a QObject child;
// attaching to a document with text costs a pass of the base class, about
// half a second per megabyte); it marks the whole text at once and then every
// block that changes. Whole-text passes (MarkAll, the
// setting, the end of a suspension) set the marks of all blocks and have the
// text laid out once, so that a large page costs one layout, not one per
// block; loading a large page under a Suspension is the cheapest way.
class CZTLinkMarker : public QSyntaxHighlighter {
public:
    // A view that will show the document passes makeLayout false: the text is
    // then read and marked without a layout, and the view lays it out lazily
    // once it shows it.
    explicit CZTLinkMarker(QTextDocument* document, bool enabled = true, bool makeLayout = true);

    // The setting: with marking off no link is shown and LinkAt finds none.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return enabled_; }

    // Marking paused while the view composes pages or replaces text in bulk;
    // nested calls count. The last Resume marks the whole text again.
    void Suspend();
    void Resume();
    bool IsSuspended() const { return suspended_ > 0; }
    bool IsActive() const { return enabled_ && suspended_ == 0; }

    // Suspends marking for its lifetime.
    class Suspension {
    public:
        explicit Suspension(CZTLinkMarker* marker) : marker_(marker) {
            if (marker_) marker_->Suspend();
        }
        ~Suspension() {
            if (marker_) marker_->Resume();
        }
        Suspension(const Suspension&) = delete;
        Suspension& operator=(const Suspension&) = delete;

    private:
        CZTLinkMarker* marker_;
    };

    // The marked link holding the character at document position `position`,
    // empty when there is none (or marking is off). The view maps a mouse
    // click to the character under it (an exact hit test) and follows the
    // link it gets.
    QString LinkAt(int position) const;
    // The same, with the link's document range.
    bool LinkRangeAt(int position, int& start, int& length) const;
    // The marked link under a point in document coordinates (a QTextEdit's
    // viewport point plus its scroll offsets); empty beside the text.
    QString LinkAtPoint(const QPointF& documentPoint) const;

    // Marks the whole text again (the fast form of rehighlight(), which this
    // class hides for that reason).
    void MarkAll();
    void rehighlight() { MarkAll(); }

    // How a link looks: blue and underlined.
    static QTextCharFormat LinkFormat();

protected:
    void highlightBlock(const QString& text) override;

private:
    void Follow();

    bool following_ = false; // the base class follows the document's changes
    bool quiet_ = false; // the base class's own whole-text pass marks nothing
    bool enabled_ = true;
    int suspended_ = 0;
};
