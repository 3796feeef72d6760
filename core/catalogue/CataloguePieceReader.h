// Reads catalogue text in pieces, the unit in which every catalogue line is
// judged. The reading rules are the program's own and hold on every platform,
// so the stream should be opened in binary mode:
//  - every CR byte (0x0D) is dropped wherever it stands;
//  - a byte 0x1A ends the text; it and everything after it are never read;
//  - a piece is the run of characters up to and including the next LF, but
//    never more than kPieceLimit characters: a longer line is cut, and its
//    rest is read as the following pieces;
//  - a read error ends the text as its end would, except that the piece being
//    read when the error struck is dropped: its bytes are incomplete, and an
//    entry must never be built from a fragment.
#pragma once

#include <array>
#include <cstddef>
#include <istream>
#include <optional>
#include <string_view>

namespace qfw {

class CataloguePieceReader {
 public:
  static constexpr std::size_t kPieceLimit = 99;

  // The stream must outlive the reader. The reader never throws: exceptions
  // from the stream or its buffer are taken as read errors.
  explicit CataloguePieceReader(std::istream& in) : in_(in) {}

  // The next piece, at least one character and at most kPieceLimit long; it
  // may hold NUL bytes. The view stays valid until the next call. Empty at
  // the end of the text and after a read error, and on every later call.
  std::optional<std::string_view> Next();

 private:
  static constexpr int kEnd = -1;

  // The next byte after the CR and 0x1A rules, 0 to 255, or kEnd.
  int ReadByte();

  std::istream& in_;
  std::array<char, kPieceLimit> buffer_{};
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace qfw
