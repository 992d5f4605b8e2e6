#include "xml.h"

#include "cp1252.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <iterator>
#include <optional>
#include <unordered_map>

namespace zt::xml {

namespace {

struct Entity {
    std::string_view key;         // the name with its ";"
    std::string_view replacement; // Latin-1
};

// The character entity names of HTML 4.01 plus "apos"; many of them stand for
// characters Latin-1 lacks and are replaced by a readable stand-in or by their
// own name.
// clang-format off
constexpr Entity kEntities[] = {
    // Sorted by the byte values of the names including the ";".
    {"AElig;", "AE"},
    {"Aacute;", "\xC1"},
    {"Acirc;", "\xB0" "A"},
    {"Agrave;", "\xC0"},
    {"Alpha;", "Alpha"},
    {"Aring;", "A"},
    {"Atilde;", "~A"},
    {"Auml;", "\xC4"},
    {"Beta;", "Beta"},
    {"Ccedil;", "C"},
    {"Chi;", "Chi"},
    {"Dagger;", "Dagger"},
    {"Delta;", "Delta"},
    {"ETH;", "ETH"},
    {"Eacute;", "\xC9"},
    {"Ecirc;", "\xB0" "E"},
    {"Egrave;", "\xC8"},
    {"Epsilon;", "Epsilon"},
    {"Eta;", "Eta"},
    {"Euml;", "E"},
    {"Gamma;", "Gamma"},
    {"Iacute;", "\xCD"},
    {"Icirc;", "\xB0" "I"},
    {"Igrave;", "\xCC"},
    {"Iota;", "Iota"},
    {"Iuml;", "I"},
    {"Kappa;", "Kappa"},
    {"Lambda;", "Lambda"},
    {"Mu;", "\xB5"},
    {"Ntilde;", "~N"},
    {"Nu;", "Nu"},
    {"OElig;", "OE"},
    {"Oacute;", "\xD3"},
    {"Ocirc;", "\xB0" "O"},
    {"Ograve;", "\xD2"},
    {"Omega;", "Omega"},
    {"Omicron;", "Omicron"},
    {"Oslash;", "O"},
    {"Otilde;", "~O"},
    {"Ouml;", "\xD6"},
    {"Phi;", "Phi"},
    {"Pi;", "Pi"},
    {"Prime;", "Prime"},
    {"Psi;", "Psi"},
    {"Rho;", "Rho"},
    {"Scaron;", "S"},
    {"Sigma;", "Sigma"},
    {"THORN;", "THORN"},
    {"Tau;", "Tau"},
    {"Theta;", "Theta"},
    {"Uacute;", "\xDA"},
    {"Ucirc;", "\xB0" "U"},
    {"Ugrave;", "\xD9"},
    {"Upsilon;", "U"},
    {"Uuml;", "\xDC"},
    {"Xi;", "Xi"},
    {"Yacute;", "\xDD"},
    {"Yuml;", "Y"},
    {"Zeta;", "Zeta"},
    {"aacute;", "\xE1"},
    {"acirc;", "\xB0" "a"},
    {"acute;", "\xB4"},
    {"aelig;", "ae"},
    {"agrave;", "\xE0"},
    {"alefsym;", "alef"},
    {"alpha;", "alpha"},
    {"amp;", "&"},
    {"and;", "and"},
    {"ang;", "<"},
    {"apos;", "'"},
    {"aring;", "a"},
    {"asymp;", "asymp"},
    {"atilde;", "a"},
    {"auml;", "\xE4"},
    {"bdquo;", "'"},
    {"beta;", "beta"},
    {"brvbar;", "brvbar"},
    {"bull;", "bull"},
    {"cap;", "cap"},
    {"ccedil;", "c"},
    {"cedil;", "cedil"},
    {"cent;", "ct"},
    {"chi;", "chi"},
    {"circ;", "\xB0"},
    {"clubs;", "clubs"},
    {"cong;", "cong"},
    {"copy;", "\xA9"},
    {"crarr;", "crarr"},
    {"cup;", "cup"},
    {"curren;", "curren"},
    {"dArr;", "dArr"},
    {"dagger;", "dagger"},
    {"darr;", "darr"},
    {"deg;", "\xB0"},
    {"delta;", "delta"},
    {"diams;", "diams"},
    {"divide;", "/"},
    {"eacute;", "\xE9"},
    {"ecirc;", "\xB0" "e"},
    {"egrave;", "\xE8"},
    {"empty;", "empty"},
    {"emsp;", " "},
    {"ensp;", " "},
    {"epsilon;", "epsilon"},
    {"equiv;", "equ"},
    {"eta;", "eta"},
    {"eth;", "eth"},
    {"euml;", "e"},
    {"euro;", "\x80"},
    {"exist;", "V"},
    {"fnof;", "fnof"},
    {"forall;", "A"},
    {"frac12;", "\xBD"},
    {"frac14;", "\xBC"},
    {"frac34;", "\xBE"},
    {"frasl;", "frasl"},
    {"gamma;", "gamma"},
    {"ge;", ">="},
    {"gt;", ">"},
    {"hArr;", "hArr"},
    {"harr;", "harr"},
    {"hearts;", "hearts"},
    {"hellip;", "..."},
    {"iacute;", "\xED"},
    {"icirc;", "\xB0" "i"},
    {"iexcl;", "iexcl"},
    {"igrave;", "\xEC"},
    {"image;", "img"},
    {"infin;", "infin"},
    {"int;", "int"},
    {"iota;", "iota"},
    {"iquest;", "iquest"},
    {"isin;", "isin"},
    {"iuml;", "i"},
    {"kappa;", "kappa"},
    {"lArr;", "lArr"},
    {"lambda;", "lambda"},
    {"lang;", "lang"},
    {"laquo;", "laquo"},
    {"larr;", "larr"},
    {"lceil;", "lceil"},
    {"ldquo;", "ldquo"},
    {"le;", "<="},
    {"lfloor;", "lfloor"},
    {"lowast;", "lowast"},
    {"loz;", "loz"},
    {"lrm;", "lrm"},
    {"lsaquo;", "lsaquo"},
    {"lsquo;", "lsquo"},
    {"lt;", "<"},
    {"macr;", "macr"},
    {"mdash;", "--"},
    {"micro;", "\xB5"},
    {"middot;", "\xB7"},
    {"minus;", "-"},
    {"mu;", "\xB5"},
    {"nabla;", "nabla"},
    {"nbsp;", ""},
    {"ndash;", "-"},
    {"ne;", "ne"},
    {"ni;", "ni"},
    {"not;", "not"},
    {"notin;", "notin"},
    {"nsub;", "nsub"},
    {"ntilde;", "~n"},
    {"nu;", "nu"},
    {"oacute;", "\xF3"},
    {"ocirc;", "\xB0" "o"},
    {"oelig;", "oe"},
    {"ograve;", "\xF2"},
    {"oline;", "oline"},
    {"omega;", "omega"},
    {"omicron;", "omicron"},
    {"oplus;", "oplus"},
    {"or;", "or"},
    {"ordf;", "ordf"},
    {"ordm;", "ordm"},
    {"oslash;", "o"},
    {"otilde;", "~o"},
    {"otimes;", "otimes"},
    {"ouml;", "\xF6"},
    {"para;", "\xA7"},
    {"part;", "part"},
    {"permil;", "pm"},
    {"perp;", "perp"},
    {"phi;", "phi"},
    {"pi;", "pi"},
    {"piv;", "piv"},
    {"plusmn;", "\xB1"},
    {"pound;", "\xA3"},
    {"prime;", "prime"},
    {"prod;", "prod"},
    {"prop;", "prop"},
    {"psi;", "psi"},
    {"quot;", "\""},
    {"rArr;", "rArr"},
    {"radic;", "radic"},
    {"rang;", "rang"},
    {"raquo;", "raquo"},
    {"rarr;", "rarr"},
    {"rceil;", "rceil"},
    {"rdquo;", "rdquo"},
    {"real;", "re"},
    {"reg;", "reg"},
    {"rfloor;", "rfloor"},
    {"rho;", "rho"},
    {"rlm;", "rlm"},
    {"rsaquo;", "rsaquo"},
    {"rsquo;", "rsquo"},
    {"sbquo;", "sbquo"},
    {"scaron;", "s"},
    {"sdot;", "sdot"},
    {"sect;", "sect"},
    {"shy;", "shy"},
    {"sigma;", "sigma"},
    {"sigmaf;", "sigmaf"},
    {"sim;", "sim"},
    {"spades;", "spades"},
    {"sub;", "sub"},
    {"sube;", "sube"},
    {"sum;", "sum"},
    {"sup1;", "sup1"},
    {"sup2;", "sup2"},
    {"sup3;", "sup3"},
    {"sup;", "sup"},
    {"supe;", "supe"},
    {"szlig;", "\xDF"},
    {"tau;", "tau"},
    {"there4;", "there4"},
    {"theta;", "theta"},
    {"thetasym;", "thetasym"},
    {"thinsp;", "thinsp"},
    {"thorn;", "thorn"},
    {"tilde;", "~"},
    {"times;", "times"},
    {"trade;", "TM"},
    {"uArr;", "u"},
    {"uacute;", "\xFA"},
    {"uarr;", "u"},
    {"ucirc;", "\xB0" "u"},
    {"ugrave;", "\xF9"},
    {"uml;", "\xFC"},
    {"upsih;", "upsih"},
    {"upsilon;", "upsilon"},
    {"uuml;", "\xFC"},
    {"weierp;", "weierp"},
    {"xi;", "xi"},
    {"yacute;", "\xFD"},
    {"yen;", "yen"},
    {"yuml;", "y"},
    {"zeta;", "zeta"},
    {"zwj;", "zwj"},
    {"zwnj;", "zwnj"},
};
// clang-format on

constexpr size_t kLongestEntityKey = [] {
    size_t longest = 0;
    for (const auto& e : kEntities)
        longest = std::max(longest, e.key.size());
    return longest;
}();

static_assert(std::size(kEntities) == 253);
static_assert(
    [] {
        for (size_t i = 1; i < std::size(kEntities); ++i)
            if (!(kEntities[i - 1].key < kEntities[i].key)) return false;
        return true;
    }(),
    "the entity table must be sorted for the binary search");

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A numeric reference at `amp` ("&#228;" or "&#xE4;"): appends its UTF-8 form
// and returns the length of the reference, or 0 when there is none.
size_t DecodeNumeric(std::string_view text, size_t amp, std::string& out) {
    size_t p = amp + 1;
    if (p >= text.size() || text[p] != '#') return 0;
    ++p;
    bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex) ++p;
    const uint32_t base = hex ? 16 : 10;
    const size_t first = p;
    uint32_t value = 0;
    for (int d; p < text.size() && (d = DigitValue(text[p], hex)) >= 0; ++p)
        value = std::min<uint32_t>(value * base + uint32_t(d), 0x110000); // saturates above the range
    if (p == first || p >= text.size() || text[p] != ';' || value > 0x10FFFF) return 0;
    zt::AppendUtf8(out, value);
    return p + 1 - amp;
}

// A named entity at `amp`: appends its replacement and returns its length, or 0.
size_t DecodeNamed(std::string_view text, size_t amp, std::string& out) {
    std::string_view window = text.substr(amp + 1, kLongestEntityKey);
    size_t semi = window.find(';');
    if (semi == std::string_view::npos) return 0;
    std::string_view key = window.substr(0, semi + 1);
    auto it = std::lower_bound(std::begin(kEntities), std::end(kEntities), key,
                               [](const Entity& e, std::string_view k) { return e.key < k; });
    if (it == std::end(kEntities) || it->key != key) return 0;
    out += it->replacement;
    return key.size() + 1;
}

std::atomic<uint64_t> gNextDocumentId{1};

} // namespace

std::string DecodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size()); // decoding never makes a text longer
    size_t i = 0;
    while (i < text.size()) {
        size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, amp - i));
        size_t used = DecodeNumeric(text, amp, out);
        if (used == 0) used = DecodeNamed(text, amp, out);
        if (used == 0) {
            out.push_back('&');
            used = 1;
        }
        i = amp + used;
    }
    return out;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

Document::Document() : id_(gNextDocumentId.fetch_add(1)) {
    Node& root = nodes_.emplace_back();
    root.owner = id_;
}

// One pass over the text: the scanner's tokens go straight into the tree.
class TreeBuilder {
  public:
    TreeBuilder(std::string_view text, const Limits& limits, Document& doc)
        : text_(text), limits_(limits), doc_(doc) {
        stack_.push_back({&doc_.nodes_.front(), {}});
    }

    void Run() {
        while (pos_ < text_.size() && !stopped_) {
            switch (mode_) {
            case Mode::Content:
                ScanContent();
                break;
            case Mode::StartTag:
            case Mode::EndTag:
                ScanMarkup();
                break;
            case Mode::Error:
                SkipError();
                break;
            }
        }
        // Whatever is still open stays unclosed; nodes were attached when made.
        stack_.clear();
        openNames_.clear();
    }

  private:
    enum class Mode { Content, StartTag, EndTag, Error };

    struct Open {
        Node* node;
        std::string lowerName;
    };

    // Between tags: a comment, the start of a tag, or a text token.
    void ScanContent() {
        if (text_[pos_] == '<') {
            if (text_.substr(pos_, 4) == "<!--") {
                size_t end = text_.find("-->", pos_ + 4);
                pos_ = end == std::string_view::npos ? text_.size() : end + 3;
            } else if (text_.substr(pos_, 2) == "</") {
                pos_ += 2;
                BeginTag(Mode::EndTag);
            } else {
                pos_ += 1;
                BeginTag(Mode::StartTag);
            }
            return;
        }
        size_t end = text_.find('<', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view raw = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (raw != "\n" && raw != "\r\n") AddText(raw);
    }

    void BeginTag(Mode mode) {
        mode_ = mode;
        tagElement_ = nullptr;
        endNameSeen_ = false;
        pending_.reset();
    }

    // Inside a start or end tag.
    void ScanMarkup() {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
        if (pos_ >= text_.size()) return;
        const char c = text_[pos_];
        if (c == '>') {
            pos_ += 1;
            EndOfTag(false);
        } else if (c == '/' && text_.substr(pos_, 2) == "/>") {
            pos_ += 2;
            EndOfTag(true);
        } else if (c == '-' && text_.substr(pos_, 3) == "-->") {
            pos_ += 3;
            EndOfTag(false);
        } else if (c == '<') {
            Fail(); // an unfinished tag; the "<" starts the next one
        } else if (c == '=') {
            pos_ += 1;
            if (mode_ == Mode::StartTag && tagElement_ && pending_) {
                ReadValue();
            } else if (mode_ == Mode::EndTag) {
                ScanValue(); // values in an end tag are ignored
            } else {
                Fail();
            }
        } else if (c == '"' || c == '\'') {
            std::string_view quoted = ReadQuoted();
            if (mode_ == Mode::StartTag) {
                if (tagElement_)
                    AttributeName(quoted);
                else
                    Fail();
            }
        } else if (c == '/') {
            pos_ += 1;
            Fail();
        } else {
            size_t start = pos_;
            while (pos_ < text_.size() && !IsNameEnd(text_[pos_]))
                ++pos_;
            std::string_view name = text_.substr(start, pos_ - start);
            if (mode_ == Mode::StartTag) {
                if (!tagElement_)
                    StartElement(name);
                else
                    AttributeName(name);
            } else if (!endNameSeen_) {
                endNameSeen_ = true;
                EndElement(name);
            }
            // Further names in an end tag are ignored.
        }
    }

    static bool IsNameEnd(char c) {
        return IsSpace(c) || c == '=' || c == '>' || c == '/' || c == '"' || c == '\'' || c == '<';
    }

    // A quoted string at `pos_`: ends at the matching quote or at a ">"; a "--"
    // or "/" directly before that ">" is left for the tag end.
    std::string_view ReadQuoted() {
        const char quote = text_[pos_];
        const size_t start = pos_ + 1;
        const char stops[] = {quote, '>'};
        size_t end = text_.find_first_of(std::string_view(stops, 2), start);
        if (end == std::string_view::npos) {
            pos_ = text_.size();
            return text_.substr(start);
        }
        std::string_view value = text_.substr(start, end - start);
        if (text_[end] == quote) {
            pos_ = end + 1;
            return value;
        }
        if (value.size() >= 2 && value.substr(value.size() - 2) == "--") {
            value.remove_suffix(2);
        } else if (!value.empty() && value.back() == '/') {
            value.remove_suffix(1);
        }
        pos_ = start + value.size();
        return value;
    }

    // The value after "=": quoted, or unquoted up to white space or the tag end.
    std::string_view ScanValue() {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
        if (pos_ < text_.size() && (text_[pos_] == '"' || text_[pos_] == '\'')) return ReadQuoted();
        const size_t start = pos_;
        while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != '>')
            ++pos_;
        std::string_view value = text_.substr(start, pos_ - start);
        if (pos_ < text_.size() && text_[pos_] == '>' && !value.empty() && value.back() == '/') {
            value.remove_suffix(1); // "/>" ends the element
            --pos_;
        }
        return value;
    }

    void ReadValue() {
        std::string_view raw = ScanValue();
        std::string value = DecodeEntities(raw);
        if (!Budget(1, value.size())) return;
        tagElement_->attributes.push_back({std::move(*pending_), std::move(value)});
        pending_.reset();
    }

    void AttributeName(std::string_view name) {
        FlushPending();
        if (!stopped_) pending_ = std::string(name);
    }

    void FlushPending() {
        if (!pending_ || !tagElement_) return;
        if (!Budget(1, 0)) return;
        tagElement_->attributes.push_back({std::move(*pending_), std::string()});
        pending_.reset();
    }

    // ">", "/>" or "-->" inside a tag.
    void EndOfTag(bool empty) {
        mode_ = Mode::Content;
        if (tagElement_) {
            FlushPending();
            if (stopped_) return;
            if (empty) {
                // The element of this tag is on top: nothing was opened after it.
                tagElement_->closed = true;
                Pop();
            }
        }
        tagElement_ = nullptr;
        pending_.reset();
    }

    // Out of place: skip to the next tag or past the next ">"; nothing is made
    // from the rest of this tag.
    void Fail() {
        mode_ = Mode::Error;
        tagElement_ = nullptr;
        pending_.reset();
    }

    void SkipError() {
        size_t p = text_.find_first_of("<>", pos_);
        if (p == std::string_view::npos) {
            pos_ = text_.size();
            return;
        }
        pos_ = text_[p] == '>' ? p + 1 : p;
        mode_ = Mode::Content;
    }

    Node* NewNode() {
        Node& n = doc_.nodes_.emplace_back();
        Node* parent = stack_.back().node;
        n.parent = parent;
        n.owner = doc_.id_;
        n.number = nextNumber_++;
        parent->children.push_back(&n);
        parent->hasChildren = true;
        return &n;
    }

    void StartElement(std::string_view name) {
        if (stack_.size() - 1 >= limits_.maxDepth) {
            Stop();
            return;
        }
        if (!Budget(1, 0)) return;
        Node* n = NewNode();
        n->name = std::string(name);
        std::string lower = LowerCopy(name);
        ++openNames_[lower];
        stack_.push_back({n, std::move(lower)});
        tagElement_ = n;
    }

    void Pop() {
        auto it = openNames_.find(stack_.back().lowerName);
        if (it != openNames_.end() && --it->second == 0) openNames_.erase(it);
        stack_.pop_back();
    }

    // An end tag closes the element on top, or the nearest open element of that
    // name together with everything opened inside it (which stays unclosed);
    // an end tag for nothing open is ignored.
    void EndElement(std::string_view name) {
        std::string lower = LowerCopy(name);
        if (openNames_.find(lower) == openNames_.end()) return;
        while (stack_.back().lowerName != lower)
            Pop();
        stack_.back().node->closed = true;
        Pop();
    }

    void AddText(std::string_view raw) {
        std::string decoded = DecodeEntities(raw);
        if (!Budget(1, decoded.size())) return;
        Node* n = NewNode();
        n->text = std::move(decoded);
    }

    // Accounts for `items` new nodes or attributes and `bytes` decoded bytes;
    // false (and the end of parsing) when that would pass a limit.
    bool Budget(size_t items, size_t bytes) {
        if (items > limits_.maxNodes - std::min(items_, limits_.maxNodes) ||
            bytes > limits_.maxDecodedBytes - std::min(bytes_, limits_.maxDecodedBytes)) {
            Stop();
            return false;
        }
        items_ += items;
        bytes_ += bytes;
        return true;
    }

    void Stop() {
        stopped_ = true;
        doc_.limitReached_ = true;
        pending_.reset();
    }

    std::string_view text_;
    const Limits& limits_;
    Document& doc_;
    size_t pos_ = 0;
    Mode mode_ = Mode::Content;
    std::vector<Open> stack_;                           // the root at the bottom
    std::unordered_map<std::string, size_t> openNames_; // lower-cased name -> open elements
    Node* tagElement_ = nullptr;                        // element of the start tag being read
    std::optional<std::string> pending_;                // attribute name waiting for a value
    bool endNameSeen_ = false;
    bool stopped_ = false;
    uint32_t nextNumber_ = 1;
    size_t items_ = 0;
    size_t bytes_ = 0;
};

Document Parse(std::string_view text, const Limits& limits) {
    Document doc;
    TreeBuilder(text, limits, doc).Run();
    return doc;
}

std::vector<const Node*> FindElements(const Node& node, std::string_view name, int levels) {
    std::vector<const Node*> found;
    struct Frame {
        const Node* node;
        size_t next;
        int depth; // of the node's children, 0 for the children of `node`
    };
    std::vector<Frame> stack{{&node, 0, 0}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next >= top.node->children.size()) {
            stack.pop_back();
            continue;
        }
        const Node* child = top.node->children[top.next++];
        const int depth = top.depth;
        if (!child->IsText() && NamesEqual(child->name, name)) found.push_back(child);
        if (child->hasChildren && (levels < 0 || depth < levels)) stack.push_back({child, 0, depth + 1});
    }
    return found;
}

std::string TextOf(const Node& node) {
    if (!node.hasChildren) return node.text;
    std::string out;
    std::vector<std::pair<const Node*, size_t>> stack{{&node, 0}};
    while (!stack.empty()) {
        auto& [current, next] = stack.back();
        if (next >= current->children.size()) {
            stack.pop_back();
            continue;
        }
        const Node* child = current->children[next++];
        if (child->hasChildren)
            stack.push_back({child, 0});
        else
            out += child->text;
    }
    return out;
}

std::string AttributeOf(const Node& node, std::string_view name) {
    for (const auto& a : node.attributes)
        if (NamesEqual(a.name, name)) return a.value;
    return {};
}

namespace {

// Decimal number in the manner of atoi, held within the range of int.
int ReadDecimal(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (IsSpace(s[i]) || s[i] == '\v' || s[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (s[i] - '0'), int64_t(INT_MAX) + 1);
    if (negative) return int(-value);
    return int(std::min<int64_t>(value, INT_MAX));
}

} // namespace

int VersionOf(const Node& node) {
    std::string v = AttributeOf(node, "VERSION");
    return v.empty() ? 1 : ReadDecimal(v);
}

std::string PathOf(const Node& node) {
    std::vector<const Node*> chain;
    for (const Node* n = &node; n && n->parent; n = n->parent)
        chain.push_back(n);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin()) path += '/';
        path += (*it)->name;
    }
    return path;
}

bool IsEnvelopeRoot(const Document& document, const Node* node, int expectedVersion, bool isAnswer) {
    if (!node || node->owner != document.Id()) return false;
    const Node* envelope = isAnswer ? node->parent : node;
    if (!envelope || !envelope->parent) return false;
    const std::string path = PathOf(*envelope);
    const bool atTop = NamesEqual(path, "xml_zettrix");
    if (!atTop && !NamesEqual(path, "?xml/xml_zettrix")) return false;
    if (!envelope->closed) return false;
    if (VersionOf(*envelope) != expectedVersion) return false;
    if (!atTop) {
        std::string encoding = AttributeOf(*envelope->parent, "encoding");
        size_t first = encoding.find_first_not_of(" \t\r\n");
        size_t last = encoding.find_last_not_of(" \t\r\n");
        std::string_view trimmed;
        if (first != std::string::npos) trimmed = std::string_view(encoding).substr(first, last - first + 1);
        if (!trimmed.empty() && !NamesEqual(trimmed, "latin1")) return false;
    }
    return true;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out.push_back(c);
        }
    }
}

} // namespace zt::xml
