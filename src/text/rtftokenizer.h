// The RTF tokenizer shared by every RTF reader of the program: the HTML and
// text converter, the twin pass and the reader of the text view.
//
// It works on bytes in memory and never allocates: words, text runs and binary
// data are views into the input. It is bounded on hostile input: group nesting
// is capped (deeper input ends tokenizing with an error token), parameters are
// clamped to the 32-bit range, \bin data never reaches past the input, and a
// truncated \'xx escape is reported as a plain control symbol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zt {

enum class RtfTokenType : uint8_t {
    End,         // end of input (or after an error)
    GroupOpen,   // "{"
    GroupClose,  // "}"
    Word,        // control word: `word` holds the letters, `hasParam`/`param` the number
    Symbol,      // control symbol such as "\*", "\~", "\_", "\-", "\|": `symbol`
    Text,        // a run of text bytes (no CR or LF); also the escaped "\\", "\{", "\}", "\:"
    Hex,         // "\'xx": the byte in `hex`
    Binary,      // "\binN" and its data: `text` holds the (possibly truncated) data
    Error,       // nesting too deep; tokenizing stops
};

struct RtfToken {
    RtfTokenType type = RtfTokenType::End;
    bool hasParam = false;
    char symbol = 0;
    unsigned char hex = 0;
    int32_t param = 0;
    std::string_view word;  // Word and Binary ("bin")
    std::string_view text;  // Text run, Binary data
    size_t offset = 0;      // first input byte of the token
    size_t end = 0;         // one past its last byte (the delimiting space included)
};

class RtfTokenizer {
public:
    // Deepest group nesting accepted by default.
    static constexpr int kDefaultMaxDepth = 1000;
    // A parameter never exceeds these bounds; longer digit strings are clamped.
    static constexpr int32_t kMaxParam = INT32_MAX;
    static constexpr int32_t kMinParam = -INT32_MAX;

    explicit RtfTokenizer(std::string_view input, int maxDepth = kDefaultMaxDepth)
        : data_(input.data()), size_(input.size()), maxDepth_(maxDepth) {}

    // Reads the next token. Returns false (and an End token) at the end of the
    // input and after an Error token.
    bool Next(RtfToken& token);

    // Current read position and group depth (groups opened and not yet closed;
    // a "}" at depth 0 is still reported but leaves the depth at 0).
    size_t Position() const { return pos_; }
    int Depth() const { return depth_; }
    std::string_view Input() const { return {data_, size_}; }

    // Moves the read position, e.g. to read a part again. `depth` is the group
    // depth at that position.
    void Seek(size_t pos, int depth) {
        pos_ = pos < size_ ? pos : size_;
        depth_ = depth;
        failed_ = false;
    }

    // True after an Error token (group nesting deeper than the cap).
    bool Failed() const { return failed_; }
    // True when a \bin announced more bytes than the input holds.
    bool Truncated() const { return truncated_; }

    // Line number (1-based) of an input offset, for messages.
    static size_t LineOf(std::string_view input, size_t offset);

private:
    void ReadControl(RtfToken& token);

    const char* data_;
    size_t size_;
    size_t pos_ = 0;
    int depth_ = 0;
    int maxDepth_;
    bool failed_ = false;
    bool truncated_ = false;
};

} // namespace zt
