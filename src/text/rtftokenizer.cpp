#include "text/rtftokenizer.h"

#include <algorithm>

namespace zt {

namespace {

// Bytes that end a text run.
struct StopTable {
    bool stop[256] = {};
    constexpr StopTable() {
        stop[uint8_t('\\')] = true;
        stop[uint8_t('{')] = true;
        stop[uint8_t('}')] = true;
        stop[uint8_t('\r')] = true;
        stop[uint8_t('\n')] = true;
    }
};
constexpr StopTable kStop;

inline bool IsLetter(unsigned char c) { return unsigned((c | 0x20) - 'a') < 26; }
inline bool IsDigit(unsigned char c) { return unsigned(c - '0') < 10; }

inline int HexValue(unsigned char c) {
    if (IsDigit(c)) return c - '0';
    unsigned l = unsigned((c | 0x20) - 'a');
    return l < 6 ? int(l) + 10 : -1;
}

constexpr std::string_view kPar = "par";

} // namespace

size_t RtfTokenizer::LineOf(std::string_view input, size_t offset) {
    offset = std::min(offset, input.size());
    return 1 + size_t(std::count(input.begin(), input.begin() + offset, '\n'));
}

bool RtfTokenizer::Next(RtfToken& t) {
    t.hasParam = false;
    t.param = 0;
    for (;;) {
        if (failed_ || pos_ >= size_) {
            t.type = RtfTokenType::End;
            t.offset = t.end = pos_;
            return false;
        }
        unsigned char c = uint8_t(data_[pos_]);
        t.offset = pos_;
        switch (c) {
        case '{':
            ++pos_;
            if (depth_ >= maxDepth_) {
                failed_ = true;
                t.type = RtfTokenType::Error;
                t.end = pos_;
                return true;
            }
            ++depth_;
            t.type = RtfTokenType::GroupOpen;
            t.end = pos_;
            return true;
        case '}':
            ++pos_;
            if (depth_ > 0) --depth_;
            t.type = RtfTokenType::GroupClose;
            t.end = pos_;
            return true;
        case '\r':
        case '\n':
            // Line breaks are not content in RTF.
            ++pos_;
            continue;
        case '\\':
            ReadControl(t);
            return true;
        default: {
            size_t p = pos_ + 1;
            while (p < size_ && !kStop.stop[uint8_t(data_[p])]) ++p;
            t.type = RtfTokenType::Text;
            t.text = std::string_view(data_ + pos_, p - pos_);
            pos_ = p;
            t.end = p;
            return true;
        }
        }
    }
}

void RtfTokenizer::ReadControl(RtfToken& t) {
    size_t p = pos_ + 1;
    if (p >= size_) {
        // A lone backslash at the end of the input.
        pos_ = p;
        t.type = RtfTokenType::Symbol;
        t.symbol = '\\';
        t.end = size_;
        return;
    }
    unsigned char c = uint8_t(data_[p]);
    if (IsLetter(c)) {
        size_t w = p;
        while (p < size_ && IsLetter(uint8_t(data_[p]))) ++p;
        t.type = RtfTokenType::Word;
        t.word = std::string_view(data_ + w, p - w);
        bool neg = false;
        size_t q = p;
        if (q < size_ && data_[q] == '-') {
            neg = true;
            ++q;
        }
        if (q < size_ && IsDigit(uint8_t(data_[q]))) {
            int64_t v = 0;
            while (q < size_ && IsDigit(uint8_t(data_[q]))) {
                if (v <= kMaxParam) v = v * 10 + (data_[q] - '0');
                ++q;
            }
            if (v > kMaxParam) v = kMaxParam;
            t.hasParam = true;
            t.param = int32_t(neg ? -v : v);
            p = q;
        }
        if (p < size_ && data_[p] == ' ') ++p;
        pos_ = p;
        t.end = p;
        if (t.word == "bin") {
            // The announced bytes follow, bounded by what the input holds.
            size_t want = t.hasParam && t.param > 0 ? size_t(t.param) : 0;
            size_t have = size_ - pos_;
            if (want > have) {
                truncated_ = true;
                want = have;
            }
            t.type = RtfTokenType::Binary;
            t.text = std::string_view(data_ + pos_, want);
            pos_ += want;
            t.end = pos_;
        }
        return;
    }
    switch (c) {
    case '\'': {
        int hi = p + 1 < size_ ? HexValue(uint8_t(data_[p + 1])) : -1;
        int lo = p + 2 < size_ ? HexValue(uint8_t(data_[p + 2])) : -1;
        if (hi >= 0 && lo >= 0) {
            t.type = RtfTokenType::Hex;
            t.hex = uint8_t(hi * 16 + lo);
            pos_ = p + 3;
        } else {
            // Truncated escape: reported as the symbol and otherwise ignored.
            t.type = RtfTokenType::Symbol;
            t.symbol = '\'';
            pos_ = p + 1;
        }
        break;
    }
    case '\\':
    case '{':
    case '}':
    case ':':
        t.type = RtfTokenType::Text;
        t.text = std::string_view(data_ + p, 1);
        pos_ = p + 1;
        break;
    case '\r':
    case '\n':
        t.type = RtfTokenType::Word;
        t.word = kPar;
        pos_ = p + 1;
        break;
    default:
        t.type = RtfTokenType::Symbol;
        t.symbol = char(c);
        pos_ = p + 1;
        break;
    }
    t.end = pos_;
}

} // namespace zt
