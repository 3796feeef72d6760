#include "catalogue/CatalogueFields.h"

#include <cstddef>

namespace qfw {

namespace {

// Walks a piece as a sequence of tokens, each after its own run of leading
// separators and up to the next separator, which is used up.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view text) : text_(text) {}

  std::optional<std::string_view> Next(char separator) {
    while (pos_ < text_.size() && text_[pos_] == separator) ++pos_;
    if (pos_ == text_.size()) return std::nullopt;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != separator) ++pos_;
    const std::string_view field = text_.substr(start, pos_ - start);
    if (pos_ < text_.size()) ++pos_;
    return field;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

bool IsIgnoredPiece(std::string_view piece) {
  if (piece.empty()) return true;
  const char first = piece.front();
  return first == ' ' || first == '#' || first == '\n' || first == '\0';
}

std::optional<CatalogueFields> SplitEntryPiece(std::string_view piece) {
  const std::size_t nul = piece.find('\0');
  FieldCursor cursor(nul == std::string_view::npos ? piece : piece.substr(0, nul));

  const auto key = cursor.Next('=');
  if (!key) return std::nullopt;
  const auto fileName = cursor.Next(',');
  if (!fileName) return std::nullopt;
  const auto imageSize = cursor.Next(',');
  if (!imageSize) return std::nullopt;
  const auto blockSize = cursor.Next(',');
  if (!blockSize) return std::nullopt;
  const auto version = cursor.Next('\n');
  if (!version) return std::nullopt;
  return CatalogueFields{*key, *fileName, *imageSize, *blockSize, *version};
}

}  // namespace qfw
