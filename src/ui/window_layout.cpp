#include "ui/window_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace banklore {

namespace {

struct UnitRect {
  int x, y, w, h;
};

// The design in dialog units (x, y, width, height).
constexpr UnitRect kClient{0, 0, 312, 222};
constexpr UnitRect kCaption[2] = {{5, 5, 120, 8}, {185, 5, 120, 8}};
constexpr UnitRect kList[2] = {{5, 15, 120, 165}, {185, 15, 120, 165}};
constexpr UnitRect kBankButtons[2][kBankButtonCount] = {
    {{5, 180, 30, 10}, {45, 180, 35, 10}, {90, 180, 35, 10}},
    {{185, 180, 30, 10}, {225, 180, 35, 10}, {270, 180, 35, 10}}};
constexpr UnitRect kStatus[2] = {{5, 195, 120, 8}, {185, 195, 120, 8}};
constexpr UnitRect kProgress[2] = {{5, 205, 120, 11}, {185, 205, 120, 11}};
constexpr int kMiddleX = 130;
constexpr int kMiddleW = 50;
constexpr int kMiddleH = 10;
constexpr int kMiddleY[kMiddleButtonCount] = {15, 25, 40, 50, 60, 75, 85, 100, 110, 125};
// The Setup button stands for the whole middle column when its width is scaled.
constexpr int kReferenceButton = 8;

LayoutBox toPixels(const UnitRect& r, double px, double py) {
  const int left = static_cast<int>(std::lround(r.x * px));
  const int top = static_cast<int>(std::lround(r.y * py));
  const int right = static_cast<int>(std::lround((r.x + r.w) * px));
  const int bottom = static_cast<int>(std::lround((r.y + r.h) * py));
  return {left, top, right, bottom};
}

LayoutBox box(int x, int y, int w, int h) {
  return {x, y, x + std::max(0, w), y + std::max(0, h)};
}

}  // namespace

WindowLayout designedLayout(double px, double py) {
  WindowLayout layout;
  layout.client = toPixels(kClient, px, py);
  for (int b = 0; b < 2; ++b) {
    layout.caption[b] = toPixels(kCaption[b], px, py);
    layout.list[b] = toPixels(kList[b], px, py);
    for (int i = 0; i < kBankButtonCount; ++i) {
      layout.bankButtons[b][i] = toPixels(kBankButtons[b][i], px, py);
    }
    layout.status[b] = toPixels(kStatus[b], px, py);
    layout.progress[b] = toPixels(kProgress[b], px, py);
  }
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    layout.middle[i] = toPixels({kMiddleX, kMiddleY[i], kMiddleW, kMiddleH}, px, py);
  }
  return layout;
}

WindowLayout arrangeLayout(const WindowLayout& d, int cx, int cy) {
  const int designedWidth = std::max(1, d.client.width());
  // 64-bit products: a huge window must not overflow before the division.
  const auto scale = [&](int v) {
    return static_cast<int>(static_cast<std::int64_t>(v) * cx / designedWidth);
  };
  const int dy = cy - d.client.height();
  const LayoutBox& l1 = d.list[0];
  const LayoutBox& l2 = d.list[1];

  WindowLayout out = d;
  out.client = {0, 0, cx, cy};
  out.list[0] = box(l1.left, l1.top, scale(l1.width()), l1.height() + dy);
  out.list[1] = box(scale(l2.left), l2.top, scale(l2.width()), l2.height() + dy);
  out.caption[0] =
      box(d.caption[0].left, d.caption[0].top, scale(l1.width()), d.caption[0].height());
  out.caption[1] = box(scale(l2.left), d.caption[1].top, scale(l2.width()), d.caption[1].height());
  for (int b = 0; b < 2; ++b) {
    const int bankLeft = b == 0 ? l1.left : 0;
    const LayoutBox& p = d.progress[b];
    const LayoutBox& s = d.status[b];
    out.progress[b] =
        box(bankLeft + scale(p.left - bankLeft), p.top + dy, scale(p.width()), p.height());
    out.status[b] =
        box(bankLeft + scale(s.left - bankLeft), s.top + dy, scale(s.width()), s.height());
    for (int i = 0; i < kBankButtonCount; ++i) {
      const LayoutBox& x = d.bankButtons[b][i];
      out.bankButtons[b][i] =
          box(bankLeft + scale(x.left - bankLeft), x.top + dy, scale(x.width()), x.height());
    }
  }
  // The middle column keeps its place in height; its width follows the space between the left
  // edge of bank 1 and the right edge of bank 2.
  const LayoutBox& reference = d.middle[kReferenceButton];
  const int middleLeft = l1.left + scale(reference.left - l1.left);
  const int middleWidth = static_cast<int>(static_cast<std::int64_t>(reference.width()) *
                                           (cx - l1.left) / std::max(1, l2.right));
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    out.middle[i] = box(middleLeft, d.middle[i].top, middleWidth, d.middle[i].height());
  }
  return out;
}

}  // namespace banklore
