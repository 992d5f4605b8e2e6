#include "ztexception.h"

#include "base/messages.h"

CZTDocCoreException::CZTDocCoreException(int32_t code, std::string detail)
    : code_(code), detail_(std::move(detail)) {
    what_ = "document error " + std::to_string(code_);
    if (!detail_.empty()) what_ += ": " + detail_;
}

std::string CZTDocCoreException::UserMessage(bool opening) const {
    using zt::Msg;
    switch (code_) {
    case LaterVersion:
        return zt::MessageText(Msg::UnknownFormatVersion);
    case Damaged:
        if (detail_.empty()) return zt::MessageText(Msg::FileDamaged);
        return zt::FormatMessage(Msg::DamagedRecord, {detail_});
    case Encrypted:
        return zt::MessageText(Msg::DocumentEncrypted);
    default:
        return zt::MessageText(opening ? Msg::UnknownArchiveException : Msg::UnknownArchiveError);
    }
}
