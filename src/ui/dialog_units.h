// Dialog units as pixels, for every window and dialog of the program: two pixels per unit both
// ways, which suits the toolkit's default font.
#pragma once

#include <QRect>

namespace banklore {

inline constexpr int kPixelsPerDialogUnit = 2;

// A rectangle given in dialog units (x, y, width, height), in pixels.
inline QRect dialogUnits(int x, int y, int w, int h) {
  return {x * kPixelsPerDialogUnit, y * kPixelsPerDialogUnit, w * kPixelsPerDialogUnit,
          h * kPixelsPerDialogUnit};
}

}  // namespace banklore
