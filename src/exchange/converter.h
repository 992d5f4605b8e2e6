// The bridge to the external text converter: LibreOffice started headless
// ("soffice --headless --convert-to") turns word processor files into RTF and
// RTF into them.
//
// The command is looked for on PATH only, in absolute directories (never in
// the working directory or the document's directory, whatever PATH says),
// started without a shell in a process group of its own, with a fresh profile
// in a private temporary directory (so a running LibreOffice of the user is
// neither used nor disturbed), and killed when it runs past its time limit or
// the caller cancels.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zt {

// The full path of "soffice" found on PATH, empty when there is none. Looked
// up once per process; RescanConverters looks again (after PATH changed).
const std::string& ConverterCommand();
void RescanConverters();
// The command's full path when `name` is found in an absolute directory of
// `path` (a PATH value) as an executable regular file, else empty.
std::string FindOnPath(std::string_view name, std::string_view path);

enum class ConvertResult { Ok, Missing, Failed, TimedOut, Cancelled };

struct ConverterRun {
    int timeoutMs = 0; // 0: the process-wide limit (ConverterTimeoutMs)
    // Asked about every 50 ms while the converter runs; false stops it.
    std::function<bool()> keepGoing;
};

// The time limit of one conversion (default 120 s); tests and ztd lower it.
int ConverterTimeoutMs();
void SetConverterTimeoutMs(int ms);

// Converts `bytes` (a file with extension `inExt`, "doc") with the filter
// `convertTo` ("rtf", "doc:MS Word 97") and reads the result (extension
// `outExt`) into `out`, at most `limit` bytes. `error` gets a German message
// naming `displayName` on failure.
ConvertResult ConvertWithOffice(std::string_view bytes, const std::string& inExt, const std::string& convertTo,
                                const std::string& outExt, std::string& out, const std::string& displayName,
                                std::string& error, const ConverterRun& run = {}, size_t limit = size_t(256) << 20);

} // namespace zt
