// "ztActivePage" (class "ZTActivePage") and "ZTRange": the text of the
// current page as the text view holds it.
#include "base/cp1252.h"
#include "base/fileio.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "exchange/textfiles.h"
#include "script/environment.h"
#include "script/jsutil.h"
#include "script/modelutil.h"
#include "script/scripthost.h"
#include "script/textinsert.h"
#include "text/qt/charformat.h"
#include "text/qt/rtfdocument.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <js/Array.h>
#include <js/Object.h>

#include <functional>
#include <sys/stat.h>
#include <optional>

namespace zt::script {

namespace tq = zt::textqt;

namespace {

const JSClass kActivePageClass = {"ZTActivePage", 0};
const JSClass kRangeClass = {"ZTRange", 0};

// ---- strings between the engine and Qt

JSString* NewStringQ(JSContext* cx, const QString& s) {
    return JS_NewUCStringCopyN(cx, reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

bool ValueToQString(JSContext* cx, JS::HandleValue v, QString& out) {
    std::string utf8;
    if (!ValueToUtf8(cx, v, utf8)) return false;
    out = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    return true;
}

// The text of a selection as scripts see it: paragraph ends as CR, line
// breaks as LF.
QString PlainSelection(const QTextCursor& c) {
    QString t = c.selectedText();
    t.replace(QChar::ParagraphSeparator, QChar('\r'));
    t.replace(QChar::LineSeparator, QChar('\n'));
    return t;
}

int EndPosition(QTextDocument* doc) { return std::max(0, doc->characterCount() - 1); }

void Select(QTextCursor& c, int start, int end) {
    const int last = EndPosition(c.document());
    if (start < 0) start = last;
    if (end < 0) end = last;
    start = std::clamp(start, 0, last);
    end = std::clamp(end, 0, last);
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
}

// ---- ranges

JSObject* NewRange(JSContext* cx, int start, int end) {
    JS::RootedObject proto(cx, nullptr);
    if (JSObject* global = JS::CurrentGlobalOrNull(cx)) {
        const JS::Value& p = JS::GetReservedSlot(global, kRangeProtoSlot);
        if (p.isObject()) proto = &p.toObject();
    }
    JS::RootedObject obj(cx, JS_NewObjectWithGivenProto(cx, &kRangeClass, proto));
    if (!obj) {
        ReportError(cx, "ZTRange: Cannot create new object");
        return nullptr;
    }
    const unsigned attrs = JSPROP_ENUMERATE | JSPROP_READONLY | JSPROP_PERMANENT;
    if (!JS_DefineProperty(cx, obj, "start", start, attrs)) {
        ReportError(cx, "ZTRange: Cannot define start property");
        return nullptr;
    }
    if (!JS_DefineProperty(cx, obj, "end", end, attrs)) {
        ReportError(cx, "ZTRange: Cannot define end property");
        return nullptr;
    }
    return obj;
}

bool RangeConstructor(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    int32_t start = 0, end = 0;
    if (!args.get(0).isUndefined() && !ValueToInt(cx, args[0], start))
        return ReportError(cx, "ZTRange: Cannot get start value from args");
    end = start;
    if (!args.get(1).isUndefined() && !ValueToInt(cx, args[1], end))
        return ReportError(cx, "ZTRange: Cannot get end value from args");
    if (start < 0) start = -1;
    if (end < 0) end = -1;
    if (end >= 0 && end < start) std::swap(start, end);
    JSObject* obj = NewRange(cx, start, end);
    if (!obj) return false;
    args.rval().setObject(*obj);
    return true;
}

bool ReturnRange(JSContext* cx, const JS::CallArgs& args, int start, int end) {
    JSObject* obj = NewRange(cx, start, end);
    if (!obj) return false;
    args.rval().setObject(*obj);
    return true;
}

// The text view and the selection a method works on. With a range argument
// the range becomes the selection and the previous one comes back when the
// method ends (unless it keeps it).
class CSelectionScope {
public:
    CSelectionScope(JSContext* cx) : cx_(cx) {}
    ~CSelectionScope() {
        if (view_ && saved_ && restore_) view_->SetCursor(*saved_);
    }
    CScriptTextView* View() const { return view_; }
    QTextCursor Cursor() const { return view_->Cursor(); }
    void Keep() { restore_ = false; }
    void RestoreNow() {
        if (view_ && saved_) view_->SetCursor(*saved_);
        saved_.reset();
    }

    // Takes the view; false (nothing reported) without one.
    bool TakeView() {
        CScriptEnvironment* env = Env(cx_);
        view_ = env && env->CurrentPage() ? env->TextView() : nullptr;
        return view_ != nullptr;
    }
    // Applies the range argument at `index`, when there is one.
    bool ApplyRange(const JS::CallArgs& args, unsigned index, const std::string& prefix) {
        if (index >= args.length() || args[index].isUndefined()) return true;
        if (!args[index].isObject() || JS::GetClass(&args[index].toObject()) != &kRangeClass)
            return ReportError(cx_, FillInt(prefix + ": Argument %d: Must be ZTRange object", int(index + 1)));
        JS::RootedObject range(cx_, &args[index].toObject());
        JS::RootedValue v(cx_);
        int32_t start = 0, end = 0;
        if (!JS_GetProperty(cx_, range, "start", &v) || !ValueToInt(cx_, v, start))
            return ReportError(cx_, FillInt(prefix + ": Argument %d: Cannot get start property", int(index + 1)));
        if (!JS_GetProperty(cx_, range, "end", &v) || !ValueToInt(cx_, v, end))
            return ReportError(cx_, FillInt(prefix + ": Argument %d: Cannot get end property", int(index + 1)));
        if (!view_) return true;
        saved_ = view_->Cursor();
        QTextCursor c = view_->Cursor();
        Select(c, start, end);
        view_->SetCursor(c);
        return true;
    }

private:
    JSContext* cx_;
    CScriptTextView* view_ = nullptr;
    std::optional<QTextCursor> saved_;
    bool restore_ = true;
};

// The "in ViewMode or not Modifiable" check.
bool CanEdit(JSContext* cx) {
    CScriptEnvironment* env = Env(cx);
    return env && env->Document() && env->CurrentPage() && env->TextView() && env->IsModifiable() &&
           !env->IsReadOnly();
}

void TextChanged(JSContext* cx) {
    CScriptEnvironment* env = Env(cx);
    if (env && env->Document() && env->CurrentPage()) MarkPageChanged(cx, *env->Document(), env->CurrentPage());
}

// ---- formats of the selection

using Piece = tq::FormatPiece;
using Effect = tq::CharEffect;
using tq::EffectOf;
using tq::FaceOf;
using tq::PointsOf;
using tq::SetEffect;

// The fragments of the selection; without a selection the format at the
// caret.
std::vector<Piece> Pieces(const QTextCursor& cursor) {
    std::vector<Piece> pieces = tq::SelectionPieces(cursor);
    if (pieces.empty()) pieces.push_back({cursor.selectionStart(), cursor.selectionStart(), cursor.charFormat()});
    return pieces;
}

// Changes the characters of the selection, or of the word at the caret when
// nothing is selected; every changed character carries the protection mark.
void ChangeChars(QTextCursor cursor, const std::function<void(QTextCharFormat&)>& change) {
    if (!cursor.hasSelection()) cursor.select(QTextCursor::WordUnderCursor);
    if (cursor.hasSelection()) tq::ModifySelectionChars(cursor, change);
}

std::vector<QTextBlock> Blocks(const QTextCursor& cursor) {
    std::vector<QTextBlock> blocks;
    const QTextDocument* doc = cursor.document();
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    for (QTextBlock b = doc->findBlock(cursor.selectionStart()); b.isValid(); b = b.next()) {
        blocks.push_back(b);
        if (b == last) break;
    }
    return blocks;
}

void ChangeBlocks(QTextCursor cursor, const std::function<void(QTextBlockFormat&)>& change) {
    QTextCursor c(cursor.document());
    c.beginEditBlock();
    for (const QTextBlock& b : Blocks(cursor)) {
        c.setPosition(b.position());
        QTextBlockFormat bf = b.blockFormat();
        change(bf);
        c.setBlockFormat(bf);
    }
    c.endEditBlock();
}

int AlignmentValue(Qt::Alignment a) {
    if (a & Qt::AlignHCenter) return 3;
    if (a & Qt::AlignRight) return 2;
    return 1;
}

// ---- methods

#define ZT_ARGS JS::CallArgs args = JS::CallArgsFromVp(argc, vp)

bool NoPage(JSContext* cx, const char* method) {
    return ReportError(cx, std::string("ZTActivePage.") + method + ": No Page Active");
}

bool ApGetPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CScriptEnvironment* env = Env(cx);
    CZTPageNode* page = env ? env->CurrentPage() : nullptr;
    if (!page) return NoPage(cx, "GetPage");
    return ReturnPage(cx, args, page);
}

bool ClipboardMethod(JSContext* cx, unsigned argc, JS::Value* vp, int which) {
    ZT_ARGS;
    static const char* kNames[] = {"Cut", "Copy", "Paste"};
    CSelectionScope scope(cx);
    if (!scope.TakeView()) {
        if (which == 2) return ReportError(cx, "ZTActivePage.Paste: in ViewMode or not Modifiable.");
        return ReportError(cx, std::string("ZTActivePage.") + kNames[which] + ": No Page active");
    }
    if (which == 2 && !CanEdit(cx)) return ReportError(cx, "ZTActivePage.Paste: in ViewMode or not Modifiable.");
    if (!scope.ApplyRange(args, 0, std::string("ZTActivePage.") + kNames[which])) return false;
    if (which == 0 && CanEdit(cx)) {
        scope.View()->Cut();
        TextChanged(cx);
    } else if (which == 2) {
        scope.View()->Paste();
        TextChanged(cx);
    } else {
        scope.View()->Copy();
    }
    args.rval().setUndefined();
    return true;
}

bool ApCut(JSContext* cx, unsigned argc, JS::Value* vp) { return ClipboardMethod(cx, argc, vp, 0); }
bool ApCopy(JSContext* cx, unsigned argc, JS::Value* vp) { return ClipboardMethod(cx, argc, vp, 1); }
bool ApPaste(JSContext* cx, unsigned argc, JS::Value* vp) { return ClipboardMethod(cx, argc, vp, 2); }

bool ApContent(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "Content");
    // The window does not repaint while the whole text is measured.
    scope.View()->SetUpdatesEnabled(false);
    const int end = EndPosition(scope.View()->Document());
    scope.View()->SetUpdatesEnabled(true);
    return ReturnRange(cx, args, 0, end);
}

bool ApSetSelection(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "SetSelection");
    if (args.length() == 0 || args[0].isUndefined()) {
        QTextCursor c = scope.Cursor();
        Select(c, 0, -1);
        scope.View()->SetCursor(c);
    } else if (!scope.ApplyRange(args, 0, "ZTActivePage.SetSelection")) {
        return false;
    }
    scope.Keep();
    args.rval().setUndefined();
    return true;
}

bool ApGetSelection(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "GetSelection");
    QTextCursor c = scope.Cursor();
    return ReturnRange(cx, args, c.selectionStart(), c.selectionEnd());
}

bool ApGetText(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "GetText");
    if (!scope.ApplyRange(args, 0, "ZTActivePage.GetText")) return false;
    JSString* s = NewStringQ(cx, PlainSelection(scope.Cursor()));
    if (!s) return false;
    args.rval().setString(s);
    return true;
}

bool ApSetText(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!CanEdit(cx) || !scope.TakeView())
        return ReportError(cx, "ZTActivePage.SetText: in ViewMode or not Modifiable");
    QString text;
    if (args.length() < 1 || !args[0].isString() || !ValueToQString(cx, args[0], text))
        return ReportError(cx, "ZTActivePage.SetText: Argument 1: Must be string");
    if (!scope.ApplyRange(args, 1, "ZTActivePage.SetText")) return false;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    QTextCursor c = scope.Cursor();
    c.insertText(text);
    scope.View()->SetCursor(c);
    TextChanged(cx);
    args.rval().setUndefined();
    return true;
}

bool ApIsViewMode(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CScriptEnvironment* env = Env(cx);
    args.rval().setBoolean(!env || !env->CurrentPage() || env->IsReadOnly());
    return true;
}

bool ApImport(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    if (!CanEdit(cx)) return ReportError(cx, "ZTActivePage.Import: No Page Active, not Modifiable or in ViewMode.");
    std::string path;
    if (args.length() < 1 || args[0].isObject() || !ValueToUtf8(cx, args[0], path))
        return ReportError(cx, "ZTActivePage.Import: Argument 1: Must be string");
    bool asObject = false, binary = false;
    if (args.length() > 1 && !ValueToBool(cx, args[1], asObject))
        return ReportError(cx, "ZTActivePage.Import: Argument 2: Must be boolean");
    if (args.length() > 2 && !ValueToBool(cx, args[2], binary))
        return ReportError(cx, "ZTActivePage.Import: Argument 3: Must be boolean");
    // Only regular files, through the text file opener (a word processor
    // file arrives as RTF), at most the size of one text page.
    std::string bytes, error;
    struct stat st;
    const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const bool read = regular && (asObject ? zt::ReadWholeFile(path, bytes, &error, zt::kMaxTextPageBytes)
                                           : zt::ReadTextForPage(path, bytes, error));
    if (!read) {
        args.rval().setBoolean(false);
        return true;
    }
    size_t slash = path.find_last_of('/');
    args.rval().setBoolean(InsertBytesInText(cx, bytes, slash == std::string::npos ? path : path.substr(slash + 1),
                                             asObject, binary));
    return true;
}

// The font and effect getters: [range].
bool ApGetFontName(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "GetFontName");
    if (!scope.ApplyRange(args, 0, "ZTActivePage.GetFontName")) return false;
    QTextCursor c = scope.Cursor();
    QString face;
    bool first = true;
    for (const Piece& p : Pieces(c)) {
        QString f = FaceOf(p.format, c.document());
        if (first) face = f;
        else if (f != face) face.clear();
        first = false;
    }
    JSString* s = NewStringQ(cx, face);
    if (!s) return false;
    args.rval().setString(s);
    return true;
}

bool ApGetFontSize(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "GetFontSize");
    if (!scope.ApplyRange(args, 0, "ZTActivePage.GetFontSize")) return false;
    QTextCursor c = scope.Cursor();
    int size = -2;
    for (const Piece& p : Pieces(c)) {
        int s = int(PointsOf(p.format, c.document()) + 0.5);
        if (size == -2) size = s;
        else if (s != size) size = -1;
    }
    args.rval().setInt32(size < 0 ? -1 : size);
    return true;
}

bool GetEffect(JSContext* cx, unsigned argc, JS::Value* vp, Effect e, const char* method) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, method);
    if (!scope.ApplyRange(args, 0, std::string("ZTActivePage.") + method)) return false;
    int state = -2;
    for (const Piece& p : Pieces(scope.Cursor())) {
        int on = EffectOf(p.format, e) ? 1 : 0;
        if (state == -2) state = on;
        else if (on != state) state = -1;
    }
    args.rval().setInt32(state == -2 ? 0 : state);
    return true;
}

bool ApGetFontBold(JSContext* cx, unsigned a, JS::Value* vp) { return GetEffect(cx, a, vp, Effect::Bold, "GetFontBold"); }
bool ApGetFontItalic(JSContext* cx, unsigned a, JS::Value* vp) {
    return GetEffect(cx, a, vp, Effect::Italic, "GetFontItalic");
}
bool ApGetFontUnderline(JSContext* cx, unsigned a, JS::Value* vp) {
    return GetEffect(cx, a, vp, Effect::Underline, "GetFontUnderline");
}
bool ApGetFontStrikeout(JSContext* cx, unsigned a, JS::Value* vp) {
    return GetEffect(cx, a, vp, Effect::StrikeOut, "GetFontStrikeout");
}

bool SetEffectMethod(JSContext* cx, unsigned argc, JS::Value* vp, Effect e, const char* method, const char* boolText) {
    ZT_ARGS;
    const std::string prefix = std::string("ZTActivePage.") + method;
    CSelectionScope scope(cx);
    if (!CanEdit(cx) || !scope.TakeView()) return ReportError(cx, prefix + ": in ViewMode or not Modifiable.");
    bool on = true;
    if (args.length() > 0 && !args[0].isUndefined() && !args[0].isBoolean() && !args[0].isNumber())
        return ReportError(cx, prefix + ": " + boolText);
    if (args.length() > 0 && !args[0].isUndefined()) on = JS::ToBoolean(args[0]);
    if (!scope.ApplyRange(args, 1, prefix)) return false;
    ChangeChars(scope.Cursor(), [&](QTextCharFormat& f) { SetEffect(f, e, on); });
    TextChanged(cx);
    args.rval().setUndefined();
    return true;
}

bool ApSetFontBold(JSContext* cx, unsigned a, JS::Value* vp) {
    return SetEffectMethod(cx, a, vp, Effect::Bold, "SetFontBold", "Cannot get boolean argument.");
}
bool ApSetFontItalic(JSContext* cx, unsigned a, JS::Value* vp) {
    return SetEffectMethod(cx, a, vp, Effect::Italic, "SetFontItalic", "Cannot get one boolean argument.");
}
bool ApSetFontUnderline(JSContext* cx, unsigned a, JS::Value* vp) {
    return SetEffectMethod(cx, a, vp, Effect::Underline, "SetFontUnderline", "Cannot get one boolean argument.");
}
bool ApSetFontStrikeout(JSContext* cx, unsigned a, JS::Value* vp) {
    return SetEffectMethod(cx, a, vp, Effect::StrikeOut, "SetFontStrikeout", "Cannot get one boolean argument.");
}

bool ApSetFontName(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!CanEdit(cx) || !scope.TakeView())
        return ReportError(cx, "ZTActivePage.SetFontName: in ViewMode or not Modifiable.");
    QString face;
    if (args.length() < 1 || !args[0].isString() || !ValueToQString(cx, args[0], face))
        return ReportError(cx, "ZTActivePage.SetFontName: Must have one string argument.");
    if (!scope.ApplyRange(args, 1, "ZTActivePage.SetFontName")) return false;
    const bool symbol = face == QLatin1String("Symbol") || face == QLatin1String("WebDings") ||
                        face == QLatin1String("WingDings");
    QTextCursor c = scope.Cursor();
    bool same = true;
    for (const Piece& p : Pieces(c))
        if (FaceOf(p.format, c.document()) != face) same = false;
    if (!same) {
        ChangeChars(c, [&](QTextCharFormat& f) {
            f.setFontFamilies(QStringList{face});
            f.setProperty(tq::kCharsetProperty, symbol ? 2 : 1);
        });
        TextChanged(cx);
    }
    args.rval().setUndefined();
    return true;
}

bool ApSetFontSize(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!CanEdit(cx) || !scope.TakeView())
        return ReportError(cx, "ZTActivePage.SetFontSize: in ViewMode or not Modifiable.");
    double points = 0;
    if (args.length() < 1 || !args[0].isNumber() || !ValueToNumber(cx, args[0], points) || points <= 0 ||
        points > 1638)
        return ReportError(cx, "ZTActivePage.SetFontSize: Must have one number argument.");
    if (!scope.ApplyRange(args, 1, "ZTActivePage.SetFontSize")) return false;
    // Sizes are kept in twentieths of a point, as the control does.
    const double size = std::round(points * 20) / 20;
    QTextCursor c = scope.Cursor();
    bool same = true;
    for (const Piece& p : Pieces(c))
        if (PointsOf(p.format, c.document()) != size) same = false;
    if (!same) {
        ChangeChars(c, [&](QTextCharFormat& f) { f.setFontPointSize(size); });
        TextChanged(cx);
    }
    args.rval().setUndefined();
    return true;
}

bool ApGetParaJustification(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "GetParaJustification");
    if (!scope.ApplyRange(args, 0, "ZTActivePage.GetParaJustification")) return false;
    int value = -2;
    for (const QTextBlock& b : Blocks(scope.Cursor())) {
        int a = AlignmentValue(b.blockFormat().alignment());
        if (value == -2) value = a;
        else if (a != value) value = -1;
    }
    args.rval().setInt32(value == -2 ? 1 : value);
    return true;
}

bool ApSetParaJustification(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!CanEdit(cx) || !scope.TakeView())
        return ReportError(cx, "ZTActivePage.SetParaJustification: in ViewMode or not Modifiable.");
    int32_t value = 0;
    if (args.length() < 1 || !args[0].isNumber() || !ValueToInt(cx, args[0], value))
        return ReportError(cx, "ZTActivePage.SetParaJustification: Must have one number argument.");
    if (value < 1 || value > 3) value = 1;
    if (!scope.ApplyRange(args, 1, "ZTActivePage.SetParaJustification")) return false;
    const Qt::Alignment a = value == 2 ? Qt::AlignRight : value == 3 ? Qt::AlignHCenter : Qt::AlignLeft;
    ChangeBlocks(scope.Cursor(), [&](QTextBlockFormat& bf) { bf.setAlignment(a); });
    TextChanged(cx);
    args.rval().setUndefined();
    return true;
}

bool ApGetParaIndent(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!scope.TakeView()) return NoPage(cx, "GetParaIndent");
    if (!scope.ApplyRange(args, 0, "ZTActivePage.GetParaIndent")) return false;
    int value = INT32_MIN;
    for (const QTextBlock& b : Blocks(scope.Cursor())) {
        int s = tq::GetIndents(b.blockFormat()).start;
        if (value == INT32_MIN) value = s;
        else if (s != value) value = -1;
    }
    args.rval().setInt32(value == INT32_MIN ? 0 : value);
    return true;
}

bool ApSetParaIndent(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!CanEdit(cx) || !scope.TakeView())
        return ReportError(cx, "ZTActivePage.SetParaIndent: in ViewMode or not Modifiable.");
    int32_t twips = 0;
    if (args.length() < 1 || !args[0].isNumber() || !ValueToInt(cx, args[0], twips))
        return ReportError(cx, "ZTActivePage.SetParaIndent: Must have one number argument.");
    if (twips < 0) twips = 0;
    twips = std::min(twips, 31680);
    if (!scope.ApplyRange(args, 1, "ZTActivePage.SetParaIndent")) return false;
    ChangeBlocks(scope.Cursor(), [&](QTextBlockFormat& bf) {
        tq::ParaIndents in = tq::GetIndents(bf);
        in.start = twips;
        tq::SetIndents(bf, in);
    });
    TextChanged(cx);
    args.rval().setUndefined();
    return true;
}

bool ApUndo(JSContext* cx, unsigned argc, JS::Value* vp) {
    ZT_ARGS;
    CSelectionScope scope(cx);
    if (!CanEdit(cx) || !scope.TakeView()) return ReportError(cx, "ZTActivePage.Undo: in ViewMode or not Modifiable.");
    QTextDocument* doc = scope.View()->Document();
    bool undone = doc->isUndoAvailable();
    if (undone) {
        QTextCursor c = scope.Cursor();
        doc->undo(&c);
        scope.View()->SetCursor(c);
        TextChanged(cx);
    }
    args.rval().setBoolean(undone);
    return true;
}

// ---- regular expressions over the selection

bool CallStringMethod(JSContext* cx, JS::HandleString str, const char* name, const JS::HandleValueArray& args,
                      JS::MutableHandleValue rval) {
    JS::RootedValue sv(cx, JS::StringValue(str));
    JS::RootedObject obj(cx);
    if (!JS_ValueToObject(cx, sv, &obj) || !obj) return false;
    return JS_CallFunctionName(cx, obj, name, args, rval);
}

bool RegExpMethod(JSContext* cx, unsigned argc, JS::Value* vp, bool replace) {
    ZT_ARGS;
    const std::string prefix = "ZTActivePage.RegExp";
    CSelectionScope scope(cx);
    CScriptEnvironment* env = Env(cx);
    if (!env || !env->CurrentPage() || !scope.TakeView() || (replace && !CanEdit(cx)))
        return ReportError(cx, prefix + ": No Page Active, not Modifiable or in ViewMode.");
    unsigned first = 0;
    if (args.length() > 0 && args[0].isObject() && JS::GetClass(&args[0].toObject()) == &kRangeClass) {
        if (!scope.ApplyRange(args, 0, prefix)) return false;
        first = 1;
    }
    const unsigned remaining = args.length() - first;
    if (remaining < (replace ? 2u : 1u)) return false;
    QTextCursor sel = scope.Cursor();
    const QString whole = PlainSelection(sel);
    const int base = sel.selectionStart();
    scope.RestoreNow();

    JS::RootedValueVector patternArgs(cx), allArgs(cx);
    for (unsigned i = first; i < args.length(); ++i) {
        if (!allArgs.append(args[i])) return false;
        if (!replace || i + 1 < args.length())
            if (!patternArgs.append(args[i])) return false;
    }
    JS::RootedString text(cx, NewStringQ(cx, whole));
    if (!text) return false;
    JS::RootedValue answer(cx);
    if (!CallStringMethod(cx, text, "match", patternArgs, &answer)) return false;
    if (answer.isNullOrUndefined()) {
        args.rval().set(replace ? JS::UndefinedValue() : answer.get());
        return true;
    }
    bool isArray = false;
    if (!answer.isObject() || !JS::IsArrayObject(cx, answer, &isArray) || !isArray) return false;
    JS::RootedObject array(cx, &answer.toObject());
    uint32_t n = 0;
    if (!JS::GetArrayLength(cx, array, &n)) return false;
    bool global = true;
    if (patternArgs[0].isObject()) {
        JS::RootedObject pat(cx, &patternArgs[0].toObject());
        JS::RootedValue g(cx);
        if (!JS_GetProperty(cx, pat, "global", &g)) return false;
        global = JS::ToBoolean(g);
    }
    if (!global) n = std::min<uint32_t>(n, 1);

    int pos = 0, shift = 0;
    JS::RootedString rest(cx, text);
    JS::RootedValue element(cx), found(cx), replaced(cx);
    for (uint32_t i = 0; i < n; ++i) {
        if (!CallStringMethod(cx, rest, "search", patternArgs, &found)) return false;
        int32_t p = 0;
        if (!ValueToInt(cx, found, p) || p < 0) break;
        if (!JS_GetElement(cx, array, i, &element) || !element.isString()) return false;
        JS::RootedString match(cx, element.toString());
        const int len = int(JS_GetStringLength(match));
        if (replace) {
            if (!CallStringMethod(cx, match, "replace", allArgs, &replaced) || !replaced.isString()) return false;
            QString r;
            if (!ValueToQString(cx, replaced, r)) return false;
            QTextCursor c = scope.View()->Cursor();
            Select(c, base + shift + p, base + shift + p + len);
            c.insertText(r);
            scope.View()->SetCursor(c);
            shift += p + int(r.size());
            TextChanged(cx);
        } else {
            JSObject* range = NewRange(cx, base + pos + p, base + pos + p + len);
            if (!range) return false;
            JS::RootedValue rv(cx, JS::ObjectValue(*range));
            if (!JS_SetElement(cx, array, i, rv)) return false;
        }
        pos += p + len;
        if (len == 0) break; // an empty match would not move on
        rest = JS_NewDependentString(cx, text, size_t(pos), size_t(whole.size() - pos));
        if (!rest) return false;
    }
    if (replace) args.rval().setUndefined();
    else args.rval().setObject(*array);
    return true;
}

bool ApMatch(JSContext* cx, unsigned argc, JS::Value* vp) { return RegExpMethod(cx, argc, vp, false); }
bool ApReplace(JSContext* cx, unsigned argc, JS::Value* vp) { return RegExpMethod(cx, argc, vp, true); }

const JSFunctionSpec kActivePageFunctions[] = {
    JS_FN("GetPage", ApGetPage, 0, JSPROP_ENUMERATE),
    JS_FN("Cut", ApCut, 0, JSPROP_ENUMERATE),
    JS_FN("Copy", ApCopy, 0, JSPROP_ENUMERATE),
    JS_FN("Paste", ApPaste, 0, JSPROP_ENUMERATE),
    JS_FN("Content", ApContent, 0, JSPROP_ENUMERATE),
    JS_FN("SetSelection", ApSetSelection, 0, JSPROP_ENUMERATE),
    JS_FN("GetSelection", ApGetSelection, 0, JSPROP_ENUMERATE),
    JS_FN("GetText", ApGetText, 0, JSPROP_ENUMERATE),
    JS_FN("SetText", ApSetText, 1, JSPROP_ENUMERATE),
    JS_FN("IsViewMode", ApIsViewMode, 0, JSPROP_ENUMERATE),
    JS_FN("Import", ApImport, 1, JSPROP_ENUMERATE),
    JS_FN("Match", ApMatch, 1, JSPROP_ENUMERATE),
    JS_FN("Replace", ApReplace, 2, JSPROP_ENUMERATE),
    JS_FN("GetFontName", ApGetFontName, 0, JSPROP_ENUMERATE),
    JS_FN("SetFontName", ApSetFontName, 1, JSPROP_ENUMERATE),
    JS_FN("GetFontSize", ApGetFontSize, 0, JSPROP_ENUMERATE),
    JS_FN("SetFontSize", ApSetFontSize, 1, JSPROP_ENUMERATE),
    JS_FN("GetFontBold", ApGetFontBold, 0, JSPROP_ENUMERATE),
    JS_FN("SetFontBold", ApSetFontBold, 0, JSPROP_ENUMERATE),
    JS_FN("GetFontItalic", ApGetFontItalic, 0, JSPROP_ENUMERATE),
    JS_FN("SetFontItalic", ApSetFontItalic, 0, JSPROP_ENUMERATE),
    JS_FN("GetFontUnderline", ApGetFontUnderline, 0, JSPROP_ENUMERATE),
    JS_FN("SetFontUnderline", ApSetFontUnderline, 0, JSPROP_ENUMERATE),
    JS_FN("GetFontStrikeout", ApGetFontStrikeout, 0, JSPROP_ENUMERATE),
    JS_FN("SetFontStrikeout", ApSetFontStrikeout, 0, JSPROP_ENUMERATE),
    JS_FN("GetParaJustification", ApGetParaJustification, 0, JSPROP_ENUMERATE),
    JS_FN("SetParaJustification", ApSetParaJustification, 1, JSPROP_ENUMERATE),
    JS_FN("GetParaIndent", ApGetParaIndent, 0, JSPROP_ENUMERATE),
    JS_FN("SetParaIndent", ApSetParaIndent, 1, JSPROP_ENUMERATE),
    JS_FN("Undo", ApUndo, 0, JSPROP_ENUMERATE),
    JS_FS_END};

} // namespace

bool InsertBytesInText(JSContext* cx, const std::string& bytes, const std::string& name, bool asObject,
                       bool acceptBinary) {
    CScriptEnvironment* env = Env(cx);
    CScriptTextView* view = env && env->CurrentPage() ? env->TextView() : nullptr;
    if (!view) return false;
    QTextCursor c = view->Cursor();
    bool ok = false;
    if (asObject) {
        ok = tq::InsertPicture(c, QByteArray(bytes.data(), qsizetype(bytes.size())));
    } else {
        zt::FileKind kind = zt::LooksBinary(std::string_view(bytes).substr(0, 60));
        if (kind == zt::FileKind::Binary && !acceptBinary) return false;
        if (kind == zt::FileKind::Rtf) {
            ok = tq::InsertRtf(bytes, c);
        } else {
            if (zt::IsUtf8(bytes)) c.insertText(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
            else tq::InsertPlainText(bytes, c);
            ok = true;
        }
    }
    if (ok) {
        view->SetCursor(c);
        TextChanged(cx);
    }
    return ok;
}

bool DefineTextObjects(JSContext* cx, JS::HandleObject global) {
    JS::RootedObject page(cx, JS_NewObject(cx, &kActivePageClass));
    if (!page || !JS_DefineFunctions(cx, page, kActivePageFunctions)) return false;
    if (!JS_DefineProperty(cx, global, "ztActivePage", page, JSPROP_ENUMERATE | JSPROP_READONLY | JSPROP_PERMANENT))
        return false;
    JS::RootedObject proto(cx, JS_InitClass(cx, global, nullptr, &kRangeClass, RangeConstructor, 2, nullptr, nullptr,
                                            nullptr, nullptr));
    if (!proto) return false;
    JS::SetReservedSlot(global, kRangeProtoSlot, JS::ObjectValue(*proto));
    return true;
}

} // namespace zt::script
