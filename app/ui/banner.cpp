#include "app/ui/banner.h"

namespace qx {

// Neighbouring bands overlap by one row. The text's offsets take the height for x and the
// width for y, as the program always drew them.
BannerLayout LayoutBanner(int width, int height, int fontFlag) {
  BannerLayout b;
  for (int i = 0; i < 64; ++i) b.bands.push_back({i * (height / 64 + 1), height / 64 + 2, static_cast<BYTE>(255 - 3 * i)});
  b.fontHeight = height / 32;
  b.fontWeight = 700;
  b.face = fontFlag == 1 ? "MS UI Gothic" : "ＭＳ Ｐゴシック";
  b.textX = height / 100;
  b.textY = width / 100;
  b.shadowX = b.textX + 3;
  b.shadowY = b.textY + 3;
  return b;
}

}  // namespace qx
