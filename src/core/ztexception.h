// The one exception of the document core.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class CZTDocCoreException : public std::exception {
public:
    enum Code : int32_t {
        LaterVersion = 1, // a format tag "ZT.." of a version this reader does not know
        Damaged = 2,      // damaged or unreadable data
        Encrypted = 3,    // encrypted data where encryption is not accepted
    };

    explicit CZTDocCoreException(int32_t code, std::string detail = {});

    int32_t Code() const { return code_; }
    // What exactly failed (Windows-1252 or ASCII), may be empty.
    const std::string& Detail() const { return detail_; }
    const char* what() const noexcept override { return what_.c_str(); }

    // The user's message for this code (UTF-8). `opening` selects the text of
    // unknown codes on the open path ("Exception") or the save path ("Error").
    std::string UserMessage(bool opening = true) const;
    // Why the data is unreadable, in the user's words (UTF-8), for a detail
    // that is meant for the log; empty when the message says it already.
    std::string Reason() const;

private:
    int32_t code_;
    std::string detail_;
    std::string what_;
};

[[noreturn]] inline void ThrowDamaged(std::string detail = {}) {
    throw CZTDocCoreException(CZTDocCoreException::Damaged, std::move(detail));
}
