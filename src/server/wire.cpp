#include "server/wire.h"

#include "base/xml.h"
#include "core/compress.h"

#include <charconv>
#include <ctime>

namespace zt::srv {

namespace {

constexpr const char* kRequestNames[kKindCount] = {"Q_GETCONTENT", "Q_GETDOC",      "Q_GETPAGE", "Q_GETPAGEFILE",
                                                   "Q_SAVEDOC",    "Q_SETPAGEFILE", "Q_ALIVE",   "Q_ADMIN"};
constexpr const char* kAnswerNames[kKindCount] = {"A_GETCONTENT", "A_GETDOC",      "A_GETPAGE", "A_GETPAGEFILE",
                                                  "A_SAVEDOC",    "A_SETPAGEFILE", "A_ALIVE",   "A_ADMIN"};
constexpr const char* kCommands[] = {"eDocAdd", "eDocDel", "eChgDocPre", "eChgDocPost", "eChgPwd"};
constexpr const char* kRights[] = {"READ", "WRITE", "GRANT", "GRANTGRANT"};
constexpr const char* kLevels[] = {"", "DOCADD", "USERADD", "USERGRANT"};

bool IsBlank(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

} // namespace

const char* RequestElement(Kind kind) { return kRequestNames[int(kind)]; }
const char* AnswerElement(Kind kind) { return kAnswerNames[int(kind)]; }

const char* AdminCommandText(AdminCommand command) { return kCommands[int(command)]; }

std::optional<AdminCommand> AdminCommandFromText(std::string_view text) {
    for (int i = 0; i < 5; ++i)
        if (text == kCommands[i]) return AdminCommand(i);
    return std::nullopt;
}

const char* RightText(int right) { return right >= 1 && right <= 4 ? kRights[right - 1] : kRights[0]; }

int RightFromText(std::string_view text) {
    for (int r = 4; r >= 2; --r)
        if (xml::NamesEqual(text, kRights[r - 1])) return r;
    return kRead;
}

std::optional<int> RightFromTextStrict(std::string_view text) {
    for (int r = 1; r <= 4; ++r)
        if (xml::NamesEqual(text, kRights[r - 1])) return r;
    return std::nullopt;
}

const char* LevelText(int level) { return level >= 1 && level <= 4 ? kLevels[level - 1] : kLevels[0]; }

int LevelFromText(std::string_view text) {
    for (int l = 4; l >= 2; --l)
        if (xml::NamesEqual(text, kLevels[l - 1])) return l;
    return 1;
}

void AppendEscaped(std::string& out, std::string_view text) { xml::AppendEscaped(out, text); }

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    AppendEscaped(out, text);
    return out;
}

std::string CtimeText(int64_t t, bool utc) {
    std::time_t tt = std::time_t(t);
    std::tm tm{};
    if (utc) gmtime_r(&tt, &tm);
    else localtime_r(&tt, &tm);
    static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[tm.tm_wday % 7], kMonths[tm.tm_mon % 12],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 1900 + tm.tm_year);
    return buf;
}

std::string NewSessionIdent() { return "ZT: " + CtimeText(int64_t(std::time(nullptr)), false); }

std::optional<int64_t> ParseInt(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int64_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size()) return std::nullopt;
    return v;
}

void AppendElement(std::string& out, std::string_view name, std::string_view text) {
    out += '<';
    out += name;
    out += '>';
    AppendEscaped(out, text);
    out += "</";
    out += name;
    out += ">\n";
}

void AppendElement(std::string& out, std::string_view name, int64_t value) {
    AppendElement(out, name, std::to_string(value));
}

bool CheckCompressed(std::string_view content, int64_t length, int64_t comprLength, std::string* why) {
    auto fail = [&](const char* w) {
        if (why) *why = w;
        return false;
    };
    if (length < 0 || comprLength < 0) return fail("negative length");
    if (uint64_t(comprLength) != content.size()) return fail("compressed length does not match the content");
    if (content.empty()) return length == 0 ? true : fail("empty content with a length");
    uint32_t stated = 0, crc = 0;
    if (!BufferPrefix(content, stated, crc)) return fail("content shorter than its prefix");
    if (int64_t(stated) != length) return fail("stated length does not match");
    if (uint64_t(length) > MaxInflatedSize(content.size())) return fail("implausible stated length");
    std::string out;
    if (!DecompressBuffer(content, out)) return fail("content is not a valid compressed buffer");
    return true;
}

const xml::Node* FrameTop(const xml::Document& doc, std::string& error) {
    const xml::Node* decl = nullptr;
    size_t elements = 0;
    for (const xml::Node* c : doc.Root().children) {
        if (c->IsText()) {
            if (!IsBlank(c->text)) {
                error = "text outside the root";
                return nullptr;
            }
            continue;
        }
        ++elements;
        if (xml::NamesEqual(c->name, "?xml")) decl = c;
    }
    if (elements != 1) {
        error = "not one root element";
        return nullptr;
    }
    return decl ? decl : &doc.Root();
}

bool LeafText(const xml::Node& node, std::string& out, std::string& error) {
    out.clear();
    for (const xml::Node* c : node.children) {
        if (!c->IsText()) {
            error = "element <" + c->name + "> inside <" + node.name + ">";
            return false;
        }
        out += c->text;
    }
    return true;
}

bool CheckAttributes(const xml::Node& node, std::initializer_list<std::pair<const char*, const char*>> expected,
                     std::string& error) {
    if (node.attributes.size() != expected.size()) {
        error = "attributes of <" + node.name + ">";
        return false;
    }
    size_t i = 0;
    for (const auto& [name, value] : expected) {
        const auto& a = node.attributes[i++];
        if (!xml::NamesEqual(a.name, name) || (value && a.value != value)) {
            error = "attribute " + a.name + " of <" + node.name + ">";
            return false;
        }
    }
    return true;
}

CStrictReader::CStrictReader(const xml::Node& parent, std::string& error) : error_(error) {
    for (const xml::Node* c : parent.children) {
        if (c->IsText()) {
            if (!IsBlank(c->text)) Fail("text inside <" + parent.name + ">");
            continue;
        }
        if (!c->closed) Fail("<" + c->name + "> not ended");
        elements_.push_back(c);
    }
}

void CStrictReader::Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
}

const xml::Node* CStrictReader::Take(std::string_view name) {
    if (!Ok()) return nullptr;
    if (next_ >= elements_.size() || !xml::NamesEqual(elements_[next_]->name, name)) {
        Fail("expected <" + std::string(name) + ">" +
             (next_ < elements_.size() ? ", found <" + elements_[next_]->name + ">" : std::string()));
        return nullptr;
    }
    return elements_[next_++];
}

const xml::Node* CStrictReader::TakeIf(std::string_view name) {
    if (!Ok() || next_ >= elements_.size() || !xml::NamesEqual(elements_[next_]->name, name)) return nullptr;
    return elements_[next_++];
}

std::string CStrictReader::PeekName() const {
    return Ok() && next_ < elements_.size() ? elements_[next_]->name : std::string();
}

std::string CStrictReader::Text(std::string_view name) {
    const xml::Node* n = Take(name);
    std::string out;
    if (!n) return out;
    std::string why;
    if (!n->attributes.empty()) Fail("attributes of <" + n->name + ">");
    else if (!LeafText(*n, out, why)) Fail(why);
    return out;
}

int64_t CStrictReader::Int(std::string_view name) {
    std::string t = Text(name);
    if (!Ok()) return 0;
    auto v = ParseInt(t);
    if (!v) {
        Fail("<" + std::string(name) + "> is not a number");
        return 0;
    }
    return *v;
}

bool CStrictReader::End() {
    if (Ok() && next_ < elements_.size()) Fail("unexpected <" + elements_[next_]->name + ">");
    return Ok();
}

} // namespace zt::srv
