#include "Constants.h"

namespace vanta {

// Orders above 25 have no EN 50160 level; 0.5 % keeps a visible limit line
// in the bar charts without claiming a stricter value.
const std::array<double, 51> CDefHrms = {
    0.0,                                  // 0: DC
    100.0,                                // 1: fundamental
    2.0,  5.0, 1.0, 6.0, 0.5, 5.0, 0.5,   // 2..8
    1.5,  0.5, 3.5, 0.5, 3.0, 0.5, 0.5,   // 9..15
    0.5,  2.0, 0.5, 1.5, 0.5, 0.5, 0.5,   // 16..22
    1.5,  0.5, 1.5,                       // 23..25
    0.5,  0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5,  // 26..38
    0.5,  0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5,       // 39..50
};

}  // namespace vanta
