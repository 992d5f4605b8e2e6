#include "ztexception.h"

#include "base/messages.h"

CZTDocCoreException::CZTDocCoreException(int32_t code, std::string detail)
    : code_(code), detail_(std::move(detail)) {
    what_ = "document error " + std::to_string(code_);
    if (!detail_.empty()) what_ += ": " + detail_;
}

namespace {

// The details the readers give for the log, and what they mean to the user.
struct TechnicalDetail {
    const char* detail;
    zt::Msg reason;
};
constexpr TechnicalDetail kTechnical[] = {
    {"unknown format tag", zt::Msg::ReasonNotADocument},
    {"unexpected end of data", zt::Msg::ReasonTruncated},
    {"string runs past the end of data", zt::Msg::ReasonTruncated},
    {"length beyond the end of data", zt::Msg::ReasonTruncated},
    {"page count beyond the data", zt::Msg::ReasonTruncated},
    {"encrypted data ends early", zt::Msg::ReasonTruncated},
    {"encrypted data", zt::Msg::ReasonEncryptedPartDamaged},
    {"key area", zt::Msg::ReasonEncryptedPartDamaged},
};

const TechnicalDetail* FindTechnical(const std::string& detail) {
    for (const TechnicalDetail& t : kTechnical)
        if (detail == t.detail) return &t;
    return nullptr;
}

} // namespace

std::string CZTDocCoreException::Reason() const {
    const TechnicalDetail* t = FindTechnical(detail_);
    return t ? zt::MessageText(t->reason) : std::string();
}

std::string CZTDocCoreException::UserMessage(bool opening) const {
    using zt::Msg;
    switch (code_) {
    case LaterVersion:
        return zt::MessageText(Msg::UnknownFormatVersion);
    case Damaged:
        if (detail_.empty() || FindTechnical(detail_)) return zt::MessageText(Msg::FileDamaged);
        return zt::FormatMessage(Msg::DamagedRecord, {detail_});
    case Encrypted:
        return zt::MessageText(Msg::DocumentEncrypted);
    default:
        return zt::MessageText(opening ? Msg::UnknownArchiveException : Msg::UnknownArchiveError);
    }
}
