// Inserting a file's bytes at the selection of the current page's text view:
// as a picture object, as RTF when it starts with "{\rtf1", else as plain
// Windows-1252 (or UTF-8) text.
#pragma once

#include <jsapi.h>

#include <string>

namespace zt::script {

// False when nothing was inserted (no text view, a binary file refused, a
// picture that does not load).
bool InsertBytesInText(JSContext* cx, const std::string& bytes, const std::string& name, bool asObject,
                       bool acceptBinary);

} // namespace zt::script
