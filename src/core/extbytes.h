// Ext bytes: typed items {uint32 LE kind, uint32 LE size, data} attached to the
// document, every page and every attached file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zt {

// Known kinds.
enum ExtKind : uint32_t {
    kExtTreeEntryStyle = 1, // page: tree entry appearance, 84 bytes
    kExtPageColours = 2,    // page: page colours, 144 bytes
    kExtTreeBackground = 3, // document: tree view background, 144 bytes
    kExtReminders = 4,      // document and page: reminders
    kExtKeyArea = 5,        // document: key area of an encrypted document
    // first page of an encrypted file: the document header, sealed inside the
    // encrypted part (the clear header of such a file holds neutral values)
    kExtSealedHeader = 0x5A540001,
};

// The data of the first item of `kind`, or nullopt-like empty view with
// found=false. A buffer shorter than 8 bytes is empty; a malformed size that
// runs past the end ends the walk (the rest is ignored).
bool FindExtItem(std::string_view ext, uint32_t kind, std::string_view& data);

// Removes every item of `kind`; a non-empty `data` is placed first, followed by
// the other items in their previous order. A malformed buffer is discarded.
std::string SetExtItem(std::string_view ext, uint32_t kind, std::string_view data);

} // namespace zt
