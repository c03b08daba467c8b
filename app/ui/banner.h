// The banner the view paints over its whole client area: 64 blue bands darkening downwards
// and the program's name in a bold italic font, once as a shadow and once in white.
#pragma once

#include <vector>

#include "platform/types.h"

namespace qx {

struct BannerBand {
  int top;
  int height;
  BYTE blue;  // red and green are 0
};

struct BannerLayout {
  std::vector<BannerBand> bands;  // top to bottom
  int fontHeight;
  int fontWeight;
  const char* face;  // CP932
  int shadowX, shadowY;  // drawn in black first
  int textX, textY;      // then in white
};

// For a client area of width by height pixels; fontFlag 1 when "MS UI Gothic" is installed.
BannerLayout LayoutBanner(int width, int height, int fontFlag);

}  // namespace qx
