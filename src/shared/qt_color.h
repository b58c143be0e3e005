// Colours between the toolkit and the program's colour references
// (0x00BBGGRR: red in the low byte, then green, then blue).
#pragma once

#include <QColor>
#include <cstdint>

namespace kvn {

// The colour of a reference; its top byte is not part of it.
inline QColor FromColorRef(std::uint32_t colorRef) {
  return QColor(static_cast<int>(colorRef & 0xFFu), static_cast<int>((colorRef >> 8) & 0xFFu),
                static_cast<int>((colorRef >> 16) & 0xFFu));
}

inline std::int32_t ToColorRef(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(rgb.red()) |
                                   static_cast<std::uint32_t>(rgb.green()) << 8 |
                                   static_cast<std::uint32_t>(rgb.blue()) << 16);
}

}  // namespace kvn
