// The revision container: the body of a document file after the format tag
// "ZT09". It holds every saved state of the document (revision) as a list of
// content-defined chunks and stores each chunk once, compressed; the newest
// revision is the document.
//
// Layout, in the style of ASN.1 BER ("open" = 30 80, "close" = 00 00; every
// element has an indefinite length or a definite BER length; integers are big
// endian):
//   01 open open ENTRY... close 80 04 ADLER32 close
//   ENTRY: open 02 01 02, 80 04 TIME, [81 01 FF|00 visible],
//          open open CHUNKITEM... close
//               open 04 14 BODY-SHA1 open (04 14 CHUNK-SHA1)... close close
//          close close
//   CHUNKITEM: open 04 14 SHA1, 80 LENGTH COMPRESSED-BUFFER (or 04 LENGTH
//              plain bytes), close
// The Adler-32 covers everything from the byte 01 up to the 80 04 before it.
// A first byte 00 instead of 01 introduces the older delta form, read only.
//
// Every stored chunk is written inside the oldest entry; the new revision's
// chunks that are not stored yet go into its own entry as the chunker finds
// them. A revision body is a BER page list (or, read only, XML).
//
// Everything here works on CZTDocStream, so an encrypting or decrypting
// stream carries the container as it carries the plain body.
#pragma once

#include "core/docmodel.h"
#include "core/docstream.h"
#include "core/history.h"
#include "core/pagelist.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

// Reads the container that follows the tag "ZT09" into `history` (which is
// emptied first). Throws CZTDocCoreException code 2 for anything that does not
// match the container's grammar, a wrong Adler-32 or a first byte other than
// 00 or 01.
void ReadRevisionContainer(CZTDocStream& stream, CZTHistory& history);

// Reads a container and the body of its newest revision into new nodes. When
// opening, the history becomes the core's; when inserting, only the pages are
// taken. With `historyOnly` no body is read, so that the older revisions stay
// within reach when the newest one is damaged. A newest revision whose body
// cannot be joined or does not match its SHA-1 raises code 2 naming it.
void ReadRevisionDocument(CZTDocStream& stream, CZTDocCore& core, CZTPageList& pages, bool opening,
                          bool historyOnly);

// Reads a revision body into new nodes appended to the core, and their page
// list entries into `pages`: XML when it is longer than 10 bytes and starts
// with "<", else a BER page list. A damaged BER body raises code 2 and leaves
// no node of it; an XML body is read up to its first missing or misplaced
// element.
void ReadRevisionBody(std::string_view body, CZTDocCore& core, CZTPageList& pages);

// Writes the container after the tag "ZT09": every revision of the core's
// history (all stored chunks inside the oldest entry) and a new revision made
// from `pages`, whose body is streamed through the chunker while it is built.
// Records the new revision in the history. Pages or files whose content
// cannot be had are named in `problems` (their content is left out).
void WriteRevisionContainer(CZTDocStream& stream, CZTDocCore& core, const CZTPageList& pages,
                            std::vector<std::string>& problems);

// Streams the BER page list of `pages` into `feed`, in pieces.
void WriteRevisionBody(CZTDocCore& core, const CZTPageList& pages, const std::function<void(std::string_view)>& feed,
                       std::vector<std::string>& problems);

// The time of a revision saved at `now`: `now`, or one second after the
// newest revision when the clock is behind it, so that the new state is
// always the newest. A revision of the same second is replaced by it.
int32_t NewRevisionTime(const CZTHistory& history, int32_t now);

} // namespace zt
