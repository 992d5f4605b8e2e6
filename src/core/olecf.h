// A small reader of OLE compound files (version 3 with 512-byte sectors and
// version 4 with 4096-byte sectors). A document file that begins with the
// compound file signature keeps the actual document in its stream "Contents".
//
// Damaged or hostile files give an error, never a crash: every sector index is
// checked, sector chains that loop are detected, and stream sizes are checked
// against the size of the file before anything is allocated.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// The eight bytes D0 CF 11 E0 A1 B1 1A E1 that begin every compound file.
inline constexpr std::string_view kCompoundFileSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

// True when `fileBytes` begin with the compound file signature.
bool IsCompoundFile(std::string_view fileBytes);

// Finds the stream `streamName` (UTF-8, compared ignoring case) anywhere in
// the directory tree of the compound file in `fileBytes` (the shallowest one
// when several storages hold a stream of that name) and puts its content into
// `out`. Returns false with a reason in `error` (when given) when the file is
// no compound file, is damaged, or has no such stream; `out` is then empty.
bool ReadCompoundStream(std::string_view fileBytes, std::string_view streamName, std::string& out,
                        std::string* error);

} // namespace zt
