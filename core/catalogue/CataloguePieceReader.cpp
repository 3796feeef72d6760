#include "catalogue/CataloguePieceReader.h"

namespace qfw {

namespace {
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kEndOfText = 0x1A;
}  // namespace

int CataloguePieceReader::ReadByte() {
  while (!ended_) {
    char c = 0;
    try {
      in_.get(c);
    } catch (...) {
      // The stream rethrows what its buffer threw when badbit is in its
      // exception mask, and throws at the end when eofbit or failbit is.
      ended_ = true;
      failed_ = in_.bad();
      return kEnd;
    }
    if (!in_) {
      ended_ = true;
      failed_ = in_.bad();
      return kEnd;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte == kCarriageReturn) continue;
    if (byte == kEndOfText) {
      ended_ = true;
      return kEnd;
    }
    return byte;
  }
  return kEnd;
}

std::optional<std::string_view> CataloguePieceReader::Next() {
  std::size_t length = 0;
  while (length < kPieceLimit) {
    const int byte = ReadByte();
    if (byte == kEnd) break;
    const char c = static_cast<char>(static_cast<unsigned char>(byte));
    buffer_[length++] = c;
    if (c == '\n') break;
  }
  if (failed_ || length == 0) return std::nullopt;
  return std::string_view(buffer_.data(), length);
}

}  // namespace qfw
