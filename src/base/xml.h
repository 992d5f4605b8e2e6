// The lenient XML reader of the server answers and of XML revision bodies.
//
// `Parse` never rejects a text: it closes what was left open, skips what it
// cannot use and returns a tree of whatever it recognised. The callers decide
// whether that tree is acceptable (`IsEnvelopeRoot` tells whether the envelope
// was complete).
//
// Texts are byte strings (Latin-1 in the protocol) and are stored byte for
// byte; numeric character references become UTF-8. All name comparisons ignore
// ASCII letter case.
//
// The reader is bounded: nesting depth, the number of nodes and attributes and
// the decoded size are capped (see Limits). When a limit is reached, the rest
// of the text is treated as if the text had ended there: every element still
// open stays unclosed, and the document reports LimitReached().
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace zt::xml {

struct Attribute {
    std::string name;
    std::string value;
};

struct Node {
    std::string name;                  // as written; "?xml" for the declaration; empty for text nodes
    std::string text;                  // decoded character data of a text node; empty for elements
    std::vector<Attribute> attributes; // in the order written, duplicates kept
    std::vector<const Node*> children; // elements and text nodes in document order
    const Node* parent = nullptr;      // null for the root only
    uint64_t owner = 0;                // identifies the document the node belongs to
    uint32_t number = 0;               // creation number, 1 for the first node made; 0 for the root
    bool hasChildren = false;
    bool closed = false; // ended by its own end tag or by "/>"

    bool IsText() const { return name.empty() && parent != nullptr; }
};

struct Limits {
    size_t maxDepth = 256;                    // open elements below the root
    size_t maxNodes = size_t(1) << 21;        // elements, text nodes and attributes together
    size_t maxDecodedBytes = size_t(1) << 30; // text and attribute values after decoding
};

// The parsed tree. Nodes live as long as the document and keep their
// addresses when the document is moved.
class Document {
  public:
    Document();
    Document(Document&&) noexcept = default;
    Document& operator=(Document&&) noexcept = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // The nameless root; the top-level elements are its children.
    const Node& Root() const { return nodes_.front(); }
    uint64_t Id() const { return id_; }
    // Nodes made, the root not counted.
    size_t NodeCount() const { return nodes_.size() - 1; }
    // True when parsing stopped early at one of the limits.
    bool LimitReached() const { return limitReached_; }

  private:
    friend class TreeBuilder;
    std::deque<Node> nodes_; // the root first
    uint64_t id_ = 0;
    bool limitReached_ = false;
};

// Builds the tree of `text`; always succeeds.
Document Parse(std::string_view text, const Limits& limits = {});

// The element nodes named `name` (ignoring case) below `node`: `levels` 0 looks
// at the children only, 1 at children and grandchildren, and so on; a negative
// value looks at every depth. Document order.
std::vector<const Node*> FindElements(const Node& node, std::string_view name, int levels);

// For a node with children all character data inside it, concatenated in
// document order; for a node without children its own text.
std::string TextOf(const Node& node);

// The value of the first attribute named `name` (ignoring case); empty when absent.
std::string AttributeOf(const Node& node, std::string_view name);

// The attribute "VERSION" as a decimal number; 1 when absent or empty.
int VersionOf(const Node& node);

// The names from the top-level element down to the node itself, joined by
// "/" (the nameless root is left out): the envelope element under the
// declaration gives "?xml/XML_ZETTRIX".
std::string PathOf(const Node& node);

// True when `node` (or, for an answer element, its parent) is a complete
// envelope root of `document`: it is named XML_ZETTRIX at the top or directly
// under the declaration, was ended by its end tag, carries the version
// `expectedVersion` and, under a declaration, the declared encoding is empty
// or Latin1.
bool IsEnvelopeRoot(const Document& document, const Node* node, int expectedVersion, bool isAnswer);

// Entity decoding of text and attribute values: numeric references become
// UTF-8, the named entities of the table their Latin-1 replacement, anything
// else is copied unchanged.
std::string DecodeEntities(std::string_view text);

// ASCII case-insensitive equality of two names.
bool NamesEqual(std::string_view a, std::string_view b);

// Appends `text` with the five markup characters written as entities, for
// element text and attribute values of XML and HTML alike.
void AppendEscaped(std::string& out, std::string_view text);

} // namespace zt::xml
