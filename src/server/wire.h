// The common vocabulary of the document server protocol: request kinds,
// administration commands, rights and levels with their texts, error numbers,
// escaping, the session ident, and a strict reader of element sequences.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zt::xml {
struct Node;
class Document;
}

namespace zt::srv {

enum class Kind { GetContent, GetDoc, GetPage, GetPageFile, SaveDoc, SetPageFile, Alive, Admin };
inline constexpr int kKindCount = 8;
// "Q_GETDOC" and "A_GETDOC" for Kind::GetDoc, and so on.
const char* RequestElement(Kind kind);
const char* AnswerElement(Kind kind);

enum class AdminCommand { DocAdd, DocDel, ChgDocPre, ChgDocPost, ChgPwd };
// "eDocAdd", "eDocDel", "eChgDocPre", "eChgDocPost", "eChgPwd".
const char* AdminCommandText(AdminCommand command);
std::optional<AdminCommand> AdminCommandFromText(std::string_view text);

// Rights of a user on a document.
enum Right : int { kRead = 1, kWrite = 2, kGrant = 3, kGrantGrant = 4 };
const char* RightText(int right); // "READ", "WRITE", "GRANT", "GRANTGRANT"
// "WRITE", "GRANT" and "GRANTGRANT" ignoring case; anything else is READ.
int RightFromText(std::string_view text);
// The strict form for requests: nullopt for any other text.
std::optional<int> RightFromTextStrict(std::string_view text);

// Levels of a user: 1 plain, 2 may create documents, 3 may add users, 4 may
// grant user rights. The "adm" texts are "", "DOCADD", "USERADD", "USERGRANT".
const char* LevelText(int level);
int LevelFromText(std::string_view text);

// The errno values of ERROR_MSG.
enum ErrNo : int {
    kErrAuth = 10,
    kErrNotFound = 20,
    kErrNoRight = 30,
    kErrLocked = 40,     // the write lock is another session's, or was lost
    kErrStale = 45,      // the client's DOC_TIME is older than the document's
    kErrUnchanged = 50,
    kErrMalformed = 60,
    kErrNameTaken = 70,
};

// Element texts and attribute values: the double quote, ampersand, apostrophe,
// less-than and greater-than signs become entities; nothing else changes.
std::string EscapeXml(std::string_view text);
void AppendEscaped(std::string& out, std::string_view text);

// `t` formatted like ctime/asctime without the final line feed (24
// characters), in local time or UTC.
std::string CtimeText(int64_t t, bool utc);
// "ZT: " and the local time now: the ident of one client session.
std::string NewSessionIdent();

// A decimal integer of the whole text (optional minus sign); nullopt otherwise.
std::optional<int64_t> ParseInt(std::string_view text);

// Appends "<name>" escaped text "</name>" and a line feed.
void AppendElement(std::string& out, std::string_view name, std::string_view text);
void AppendElement(std::string& out, std::string_view name, int64_t value);

// Checks that `content` (decoded compressed bytes) is a compressed buffer
// of `comprLength` bytes that inflates to exactly `length` bytes with the
// right CRC, allocating no more than the stated length. An empty buffer is
// valid for length 0.
bool CheckCompressed(std::string_view content, int64_t length, int64_t comprLength, std::string* why);

// Strict reading of the children of one element: elements in the order the
// protocol writes them, nothing but white space between them, every element
// ended by its end tag. The first failure is kept in `error`; later calls
// then return empty results.
class CStrictReader {
  public:
    CStrictReader(const xml::Node& parent, std::string& error);

    // The next element, which must be named `name`; null (and an error) otherwise.
    const xml::Node* Take(std::string_view name);
    // The next element when it is named `name`, else null without an error.
    const xml::Node* TakeIf(std::string_view name);
    // The next element's name, empty at the end.
    std::string PeekName() const;
    // Leaf text of the next element named `name` (it must hold no elements).
    std::string Text(std::string_view name);
    // The same as a decimal integer.
    int64_t Int(std::string_view name);
    // Fails unless every child was taken.
    bool End();
    bool Ok() const { return error_.empty(); }
    void Fail(std::string why);

  private:
    std::vector<const xml::Node*> elements_;
    size_t next_ = 0;
    std::string& error_;
};

// The node whose children hold the XML_ZETTRIX root of a parsed protocol
// text: the declaration when the text starts with one, else the document
// root. Null (and an error) when anything else stands at the top level.
const xml::Node* FrameTop(const xml::Document& doc, std::string& error);

// The leaf text of `node`: it must hold character data only.
bool LeafText(const xml::Node& node, std::string& out, std::string& error);

// Checks that `node` carries exactly the attributes `expected` (name, value)
// in this order; a value of nullptr accepts any value.
bool CheckAttributes(const xml::Node& node, std::initializer_list<std::pair<const char*, const char*>> expected,
                     std::string& error);

} // namespace zt::srv
