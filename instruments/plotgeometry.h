#pragma once

// Where every plot lies on the main window, in window pixels: 768 x 512
// pixels, 12 x 8 divisions of 64 pixels, centred on (394, 286). Trace values
// are display units, 4 to a pixel, positive up.
namespace plot {

constexpr int kLeft = 10;
constexpr int kRight = 778;
constexpr int kTop = 30;
constexpr int kBottom = 542;
constexpr int kCentreX = 394;
constexpr int kCentreY = 286;
constexpr int kDivision = 64;
constexpr int kUnitsPerPixel = 4;

} // namespace plot
