#pragma once

#include <cstdint>

namespace korven {

// A background or text colour. The system's button-face colour is kept as
// its own value so that the view can render it from the desktop theme.
struct Color {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool buttonFace = false;

  static constexpr Color rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Color{r, g, b, false};
  }
  static constexpr Color systemButtonFace() { return Color{0, 0, 0, true}; }

  friend constexpr bool operator==(const Color&, const Color&) = default;
};

}  // namespace korven
