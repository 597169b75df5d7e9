#pragma once
// Window layouts are drawn in twips (1/1440 inch): 15 twips make a pixel at 96 dpi, and the
// pixels follow the screen's logical dpi so that a layout keeps its proportions on larger
// settings.

#include <cmath>

namespace dialvane {

inline int twipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

} // namespace dialvane
