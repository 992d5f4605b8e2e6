// The list table and the list override table: read into QTextList objects,
// written back from them.
#include "text/qt/rtflists.h"

#include "text/qt/rtfdocument.h"
#include "text/qt/rtfproperties.h"

#include "text/rtfcodepage.h"
#include "text/rtftokenizer.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace zt::textqt::detail {

namespace {

// The style a \levelnfc number names; 0 for "no number".
int StyleOfNfc(int nfc) {
    switch (nfc) {
    case 1: return QTextListFormat::ListUpperRoman;
    case 2: return QTextListFormat::ListLowerRoman;
    case 3: return QTextListFormat::ListUpperAlpha;
    case 4: return QTextListFormat::ListLowerAlpha;
    case 23: return QTextListFormat::ListDisc;
    case 255: return 0;
    default: return QTextListFormat::ListDecimal;  // decimal and the forms Qt cannot show
    }
}

int NfcOfStyle(int style) {
    switch (style) {
    case QTextListFormat::ListUpperRoman: return 1;
    case QTextListFormat::ListLowerRoman: return 2;
    case QTextListFormat::ListUpperAlpha: return 3;
    case QTextListFormat::ListLowerAlpha: return 4;
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare: return 23;
    default: return 0;
    }
}

bool IsBulletStyle(int style) {
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

// The bullet shape of a level's bullet character (symbol fonts included).
int BulletStyleOf(QChar c) {
    switch (c.unicode()) {
    case 'o':
    case 0x25E6:
    case 0x25CB:
    case 0xF06F: return QTextListFormat::ListCircle;
    case 0xA7:
    case 0x25AA:
    case 0x25A0:
    case 0xF0A7:
    case 0xF0A8:
    case 0xF06E: return QTextListFormat::ListSquare;
    default: return QTextListFormat::ListDisc;
    }
}

char16_t BulletCharOf(int style) {
    return style == QTextListFormat::ListCircle ? 0x25E6 : style == QTextListFormat::ListSquare ? 0x25AA : 0x2022;
}

// Prefix and suffix of a \leveltext: its first character counts the ones
// that follow; codes 0 to 8 stand for the numbers of the levels.
void SetLevelText(ListLevelDef& level, const QString& raw) {
    if (raw.isEmpty()) return;
    const int len = std::min<int>(raw[0].unicode(), int(raw.size()) - 1);
    const QString body = raw.mid(1, std::max(len, 0));
    int first = -1, last = -1;
    for (int i = 0; i < body.size(); ++i)
        if (body[i].unicode() < kMaxListLevels) {
            if (first < 0) first = i;
            last = i;
        }
    if (first < 0) {
        if (IsBulletStyle(level.style) && !body.isEmpty()) level.style = BulletStyleOf(body[0]);
        return;
    }
    auto printable = [](QString s) {
        s.removeIf([](QChar c) { return c.unicode() < 0x20; });
        return s;
    };
    level.prefix = printable(body.left(first));
    level.suffix = printable(body.mid(last + 1));
}

QString Roman(int n, bool upper) {
    static const std::pair<int, const char*> kParts[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"},
                                                         {100, "c"},  {90, "xc"},  {50, "l"},  {40, "xl"},
                                                         {10, "x"},   {9, "ix"},   {5, "v"},   {4, "iv"},
                                                         {1, "i"}};
    QString s;
    for (auto [v, t] : kParts)
        while (n >= v) {
            s += QLatin1String(t);
            n -= v;
        }
    return upper ? s.toUpper() : s;
}

QString NumberText(int style, int n) {
    switch (style) {
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha: {
        if (n < 1) return QString::number(n);
        QString s;
        const char16_t base = style == QTextListFormat::ListLowerAlpha ? u'a' : u'A';
        while (n > 0) {
            --n;
            s.prepend(QChar(char16_t(base + n % 26)));
            n /= 26;
        }
        return s;
    }
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman:
        if (n >= 1 && n < 5000) return Roman(n, style == QTextListFormat::ListUpperRoman);
        return QString::number(n);
    default: return QString::number(n);
    }
}

} // namespace

// ---- reading --------------------------------------------------------------

GroupEnd ListReader::ReadListTable(RtfTokenizer& tok, int depth, const RtfCodePage& cp) {
    enum class In : uint8_t { Table, List, Level, LevelText, Skip };
    // What every group opened inside the table is; a group is named by its
    // first word.
    std::vector<In> groups;
    bool named = true;
    ListDef list;
    int levels = 0;
    ListLevelDef level;
    QString text;
    int uc = 1, ucSkip = 0;
    RtfToken t;
    auto in = [&] { return groups.empty() ? In::Table : groups.back(); };
    auto addChar = [&](char32_t c) {
        if (ucSkip > 0) {
            --ucSkip;
            return;
        }
        if (text.size() < kMaxLevelText && c <= 0xFFFF) text.append(QChar(char16_t(c)));
    };
    while (tok.Next(t)) {
        switch (t.type) {
        case RtfTokenType::GroupOpen:
            groups.push_back(in() == In::LevelText ? In::Skip : in());
            named = false;
            break;
        case RtfTokenType::GroupClose: {
            if (tok.Depth() < depth) return GroupEnd::Closed;
            if (groups.empty()) break;
            const In was = groups.back();
            groups.pop_back();
            const In parent = in();
            if (was == In::LevelText && parent == In::Level) {
                SetLevelText(level, text);
            } else if (was == In::Level && parent == In::List) {
                if (levels < kMaxListLevels) list.levels[size_t(levels++)] = level;
            } else if (was == In::List && parent == In::Table) {
                if (int(lists_.size()) < kMaxLists && !listIndex_.count(list.id)) {
                    listIndex_[list.id] = lists_.size();
                    lists_.push_back(list);
                }
            }
            break;
        }
        case RtfTokenType::Word: {
            const std::string_view w = t.word;
            const int v = t.hasParam ? t.param : 0;
            if (!named && !groups.empty()) {
                named = true;
                In& g = groups.back();
                const In parent = groups.size() > 1 ? groups[groups.size() - 2] : In::Table;
                if (w == "list" && parent == In::Table) {
                    g = In::List;
                    list = ListDef{};
                    levels = 0;
                    continue;
                }
                if (w == "listlevel" && parent == In::List) {
                    g = In::Level;
                    level = ListLevelDef{};
                    level.li = 720 * (levels + 1);
                    level.fi = -360;
                    continue;
                }
                if (w == "leveltext" && parent == In::Level) {
                    g = In::LevelText;
                    text.clear();
                    ucSkip = 0;
                    continue;
                }
                g = In::Skip;  // names, numbers, pictures and the rest
                continue;
            }
            switch (in()) {
            case In::List:
                if (w == "listid") list.id = v;
                break;
            case In::Level:
                if (w == "levelnfc" || w == "levelnfcn") {
                    level.style = StyleOfNfc(v);
                } else if (w == "levelstartat") {
                    level.start = std::clamp(v, 0, 32767);
                } else if (w == "li" || w == "lin") {
                    level.li = std::clamp(v, -31680, 31680);
                    level.indentSet = true;
                } else if (w == "fi") {
                    level.fi = std::clamp(v, -31680, 31680);
                    level.indentSet = true;
                }
                break;
            case In::LevelText:
                if (w == "uc") {
                    uc = std::clamp(v, 0, 255);
                } else if (w == "u" && t.hasParam) {
                    addChar(char32_t(v < 0 ? v + 65536 : v) & 0xFFFF);
                    ucSkip = uc;
                } else if (ucSkip > 0) {
                    --ucSkip;
                }
                break;
            default: break;
            }
            break;
        }
        case RtfTokenType::Text:
            if (in() == In::LevelText)
                for (unsigned char b : t.text) addChar(b < 0x80 ? char32_t(b) : cp.Map(b));
            break;
        case RtfTokenType::Hex:
            if (in() == In::LevelText) addChar(t.hex < 0x80 ? char32_t(t.hex) : cp.Map(t.hex));
            break;
        case RtfTokenType::Error: return GroupEnd::Error;
        default: break;
        }
    }
    return tok.Failed() ? GroupEnd::Error : GroupEnd::EndOfInput;
}

GroupEnd ListReader::ReadOverrideTable(RtfTokenizer& tok, int depth) {
    // Depth inside the table: 1 the \listoverride group, 2 its \lfolevel groups.
    int listId = 0, ls = 0, lfo = -1;
    bool haveId = false, startOverride = false;
    Override o;
    RtfToken t;
    while (tok.Next(t)) {
        const int rel = tok.Depth() - depth;
        switch (t.type) {
        case RtfTokenType::GroupOpen:
            if (rel == 2) {
                ++lfo;
                startOverride = false;
            }
            if (rel == 1) {
                listId = ls = 0;
                haveId = false;
                lfo = -1;
                o = Override{};
            }
            break;
        case RtfTokenType::GroupClose:
            if (rel < 0) return GroupEnd::Closed;
            if (rel == 0 && haveId && ls > 0) {
                auto it = listIndex_.find(listId);
                if (it != listIndex_.end() && (overrides_.count(ls) || int(overrides_.size()) < kMaxListOverrides)) {
                    o.list = it->second;
                    overrides_[ls] = o;
                }
            }
            break;
        case RtfTokenType::Word: {
            const std::string_view w = t.word;
            const int v = t.hasParam ? t.param : 0;
            if (rel == 1 && w == "listid") {
                listId = v;
                haveId = true;
            } else if (rel == 1 && w == "ls") {
                ls = v;
            } else if (rel >= 2 && w == "listoverridestartat") {
                startOverride = true;
            } else if (rel >= 2 && w == "levelstartat" && startOverride && lfo >= 0 && lfo < kMaxListLevels) {
                o.start[size_t(lfo)] = std::clamp(v, 0, 32767) + 1;  // stored plus one: 0 means none
            }
            break;
        }
        case RtfTokenType::Error: return GroupEnd::Error;
        default: break;
        }
    }
    return tok.Failed() ? GroupEnd::Error : GroupEnd::EndOfInput;
}

void ListReader::StartInsertion(QTextDocument& doc) {
    insertion_ = doc.property("ztListInsertions").toInt() + 1;
    doc.setProperty("ztListInsertions", insertion_);
}

bool ListReader::Apply(QTextCursor& cursor, int ls, int level) {
    auto it = overrides_.find(ls);
    if (it == overrides_.end()) return false;
    level = std::clamp(level, 0, kMaxListLevels - 1);
    ListLevelDef def = lists_[it->second.list].levels[size_t(level)];
    if (int s = it->second.start[size_t(level)]) def.start = s - 1;
    // Deeper levels count again after this item.
    for (auto o = open_.upper_bound({ls, level}); o != open_.end() && o->first.first == ls;) o = open_.erase(o);

    QTextBlock block = cursor.block();
    QTextBlockFormat bf = cursor.blockFormat();
    // The level's indents hold for paragraphs that give none of their own.
    if (def.indentSet && bf.leftMargin() == 0 && bf.textIndent() == 0 && !bf.hasProperty(kListHangProperty)) {
        bf.setLeftMargin(TwipsToUnits(def.li));
        bf.setTextIndent(TwipsToUnits(def.fi));
    }
    if (IsBulletStyle(def.style))
        bf.setProperty(kBulletProperty, true);
    else
        bf.clearProperty(kBulletProperty);
    cursor.setBlockFormat(bf);

    QTextList* now = block.textList();
    QPointer<QTextList>& slot = open_[{ls, level}];
    if (def.style == 0) {
        // A level without numbers: the paragraph keeps only the indents.
        if (now) now->remove(block);
        SetListHang(cursor, false);
        return true;
    }
    if (now && now == slot) return true;
    if (now) now->remove(block);
    if (slot) {
        slot->add(block);
        SetListHang(cursor, true);
        return true;
    }
    QTextListFormat lf;
    lf.setStyle(QTextListFormat::Style(def.style));
    // The list's own indent stays 0: the paragraph's margins place it.
    lf.setIndent(0);
    if (!IsBulletStyle(def.style)) {
        lf.setNumberPrefix(def.prefix);
        lf.setNumberSuffix(def.suffix);
    }
    lf.setProperty(kListLevelProperty, level);
    lf.setProperty(kListOverrideProperty, ls);
    if (insertion_) lf.setProperty(kListInsertionProperty, insertion_);
    if (def.start != 1) lf.setProperty(kListStartProperty, def.start);
    QTextBlockFormat keep = cursor.blockFormat();
    slot = cursor.createList(lf);
    QTextBlockFormat after = cursor.blockFormat();
    after.setLeftMargin(keep.leftMargin());
    after.setTextIndent(keep.textIndent());
    cursor.setBlockFormat(after);
    SetListHang(cursor, true);
    return true;
}

// ---- labels ---------------------------------------------------------------

QString ItemLabel(const QTextBlock& block) {
    QTextList* list = block.textList();
    if (!list) return {};
    const QTextListFormat f = list->format();
    if (!IsNumberStyle(f.style())) return {};
    const int start = f.hasProperty(kListStartProperty) ? f.intProperty(kListStartProperty) : 1;
    const QString suffix = f.hasProperty(QTextFormat::ListNumberSuffix) ? f.numberSuffix() : QStringLiteral(".");
    return f.numberPrefix() + NumberText(f.style(), list->itemNumber(block) + start) + suffix;
}

// ---- writing --------------------------------------------------------------

ListWriter::Item ListWriter::ItemOf(const QTextBlock& block) {
    QTextList* list = block.textList();
    if (!list) return {};
    const QTextListFormat f = list->format();
    if (!IsNumberStyle(f.style()) && !IsBulletStyle(f.style())) return {};
    Item item;
    item.level = std::clamp(f.intProperty(kListLevelProperty), 0, kMaxListLevels - 1);
    int* slot = f.hasProperty(kListOverrideProperty)
                    ? &bySource_[{f.intProperty(kListInsertionProperty), f.intProperty(kListOverrideProperty)}]
                    : &byList_[list];
    if (*slot == 0) {
        out_.emplace_back();
        *slot = int(out_.size());
    }
    item.ls = *slot;
    Out& o = out_[size_t(item.ls - 1)];
    if (!o.known[size_t(item.level)]) {
        ListLevelDef& d = o.levels[size_t(item.level)];
        d.style = f.style();
        d.start = f.hasProperty(kListStartProperty) ? f.intProperty(kListStartProperty) : 1;
        d.prefix = f.numberPrefix();
        d.suffix = f.hasProperty(QTextFormat::ListNumberSuffix) ? f.numberSuffix() : QStringLiteral(".");
        const ParaIndents ind = GetIndents(list->item(0).blockFormat());
        d.li = ind.start + ind.offset;
        d.fi = -ind.offset;
        o.known[size_t(item.level)] = true;
    }
    return item;
}

namespace {

void AppendLevelChars(std::string& out, const QString& s) {
    for (QChar ch : s) {
        const char16_t c = ch.unicode();
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}' && c != ';')
            out += char(c);
        else
            out += "\\u" + std::to_string(int(int16_t(c))) + " ?";
    }
}

std::string Hex2(int v) {
    static const char kHex[] = "0123456789abcdef";
    return std::string("\\'") + kHex[(v >> 4) & 15] + kHex[v & 15];
}

} // namespace

std::string ListWriter::Tables() const {
    if (out_.empty()) return {};
    std::string out = "{\\*\\listtable";
    for (size_t i = 0; i < out_.size(); ++i) {
        const Out& o = out_[i];
        out += "\r\n{\\list\\listtemplateid" + std::to_string(i + 1);
        for (int l = 0; l < kMaxListLevels; ++l) {
            ListLevelDef d = o.levels[size_t(l)];
            if (!o.known[size_t(l)]) {
                // Levels the document does not use: the style of the first
                // level used, indented a step further each.
                d = ListLevelDef{};
                for (int k = 0; k < kMaxListLevels; ++k)
                    if (o.known[size_t(k)]) {
                        d.style = o.levels[size_t(k)].style;
                        break;
                    }
                d.li = 720 * (l + 1);
                d.fi = -360;
            }
            const int nfc = NfcOfStyle(d.style);
            out += "{\\listlevel\\levelnfc" + std::to_string(nfc) + "\\levelnfcn" + std::to_string(nfc) +
                   "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat" + std::to_string(d.start);
            if (IsBulletStyle(d.style)) {
                out += "{\\leveltext" + Hex2(1) + "\\u" + std::to_string(int(int16_t(BulletCharOf(d.style)))) +
                       " ?;}{\\levelnumbers;}";
            } else {
                out += "{\\leveltext" + Hex2(int(d.prefix.size() + d.suffix.size() + 1));
                AppendLevelChars(out, d.prefix);
                out += Hex2(l);
                AppendLevelChars(out, d.suffix);
                out += ";}{\\levelnumbers" + Hex2(int(d.prefix.size()) + 1) + ";}";
            }
            out += "\\fi" + std::to_string(d.fi) + "\\li" + std::to_string(d.li) + "\\lin" + std::to_string(d.li) +
                   "}";
        }
        out += "{\\listname ;}\\listid" + std::to_string(i + 1) + "}";
    }
    out += "}\r\n{\\*\\listoverridetable";
    for (size_t i = 0; i < out_.size(); ++i)
        out += "{\\listoverride\\listid" + std::to_string(i + 1) + "\\listoverridecount0\\ls" + std::to_string(i + 1) +
               "}";
    out += "}\r\n";
    return out;
}

} // namespace zt::textqt::detail
