// The program's texts are 8-bit, one character a byte; on screen each byte is
// shown as the Latin-1 character of that value, so no text is ever lost or
// refused by a decoder.
#pragma once

#include <QString>
#include <string_view>

namespace qfw::qt {

inline QString ToQString(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace qfw::qt
