// The main window's control rectangles and how they follow a resize: both banks share the width in
// proportion, the lists take all extra height, everything under them follows the bottom edge and
// the middle column of buttons keeps its vertical place. Toolkit-free, so it is tested directly.
#pragma once

#include <array>

#include "app/bank_view.h"

namespace banklore {

// A control rectangle in client coordinates: the same four edges as a window rectangle.
using LayoutBox = WindowRect;

inline constexpr int kMiddleButtonCount = 10;
inline constexpr int kBankButtonCount = 3;  // "<< Up", "Activate", "Down >>"

// Every control of the client area, per bank where there is one per bank.
struct WindowLayout {
  LayoutBox client;
  std::array<LayoutBox, 2> caption;
  std::array<LayoutBox, 2> list;
  std::array<std::array<LayoutBox, kBankButtonCount>, 2> bankButtons;
  std::array<LayoutBox, 2> status;
  std::array<LayoutBox, 2> progress;
  std::array<LayoutBox, kMiddleButtonCount> middle;  // top to bottom
  bool operator==(const WindowLayout&) const = default;
};

// The designed layout (312 x 222 dialog units) at the given pixels per dialog unit.
WindowLayout designedLayout(double pixelsPerUnitX, double pixelsPerUnitY);

// Where every control goes for a client area of cx by cy pixels, computed afresh from the designed
// layout each time so repeated resizing never accumulates rounding. Sizes never go below zero.
WindowLayout arrangeLayout(const WindowLayout& designed, int cx, int cy);

}  // namespace banklore
