// Splitting a catalogue piece into the five fields of an entry.
#pragma once

#include <optional>
#include <string_view>

namespace qfw {

// The texts of one entry piece, views into the piece, none of them empty and
// none trimmed.
struct CatalogueFields {
  std::string_view ModelKey;
  std::string_view FileName;
  std::string_view ImageSize;
  std::string_view BlockSize;
  std::string_view Version;
};

// True for a piece that holds no entry: its first byte is a blank, '#', LF
// or NUL (an empty piece counts as ignored too). Nothing else marks a comment.
bool IsIgnoredPiece(std::string_view piece);

// Splits an entry piece from left to right; the piece ends at its first NUL.
//  - key: leading '=' are skipped; it runs up to the next '=', which is used up;
//  - file name, image size, block size: leading ',' are skipped; each runs up
//    to the next ',', which is used up. A run of separators thus counts as
//    one, and an empty field vanishes rather than being empty;
//  - version: leading LF are skipped; it is the rest of the piece up to the
//    LF, so a ',' directly after the block size's comma belongs to it.
// Empty when a field is missing: nothing but separators (or nothing) is left
// where it should begin.
std::optional<CatalogueFields> SplitEntryPiece(std::string_view piece);

}  // namespace qfw
