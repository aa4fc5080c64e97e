// One image that shows the tour's captures side by side: the centre of each frame at
// its real size (so that a filter's pixels can be compared), labelled with the
// plugin's name in the demo's bitmap font.
#pragma once

#include <string>
#include <vector>

#include "image.h"

struct LabelledCapture {
  std::string label;
  ImageRgb image;  // a whole captured frame
};

ImageRgb BuildContactSheet(const std::vector<LabelledCapture>& captures);
