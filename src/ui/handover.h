// Showing an old revision in a second instance. The sender starts the program
// with /revision "L" /title "T" /size N and writes the sealed revision body
// into the new process's standard input; the receiver reads exactly N bytes,
// answers one byte on its standard output so that the sender stops waiting,
// checks the MAC and only then decrypts and loads the body.
//
// Message: byte 00, AES-256-CBC of the body (zero IV, PKCS#7 padding), then
// HMAC-SHA256 of everything before it. Both keys come from PBKDF2-HMAC-SHA256
// (100 iterations) over a fixed prefix + L + T with a fixed salt.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zt::ui {

// The size of the sealed message for a body of `bodySize` bytes.
size_t SealedRevisionSize(size_t bodySize);
// Seals a body; empty when the keys or the cipher fail.
std::string SealRevision(std::string_view body, std::string_view label, std::string_view title);
// Checks and opens a message; nullopt when the marker, the MAC or the padding
// is wrong.
std::optional<std::string> OpenRevision(std::string_view message, std::string_view label, std::string_view title);

enum class HandOverResult { Done, StartFailed, WriteFailed, Timeout };

// Starts `program` with the hand-over arguments and writes the message into
// its standard input; waits at most `timeoutMs` for the receiver's answer.
// The new process is not a child that the sender must wait for: it lives on
// when the sender ends.
HandOverResult SendRevision(const std::string& program, std::string_view label, std::string_view title,
                            const std::string& message, int timeoutMs = 10000);

// Receiver: reads exactly `size` bytes from standard input (at most
// `timeoutMs` in all), then answers on standard output. nullopt when fewer
// bytes came.
std::optional<std::string> ReceiveRevision(size_t size, int timeoutMs = 10000);

// The largest hand-over the receiver accepts.
constexpr size_t kMaxRevisionMessage = size_t(1) << 31;

} // namespace zt::ui
