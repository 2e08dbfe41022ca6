// The --progress bar: one line on standard error, redrawn in place.
#pragma once

#include <string>

namespace ovo {
namespace app {

// "[##########----------]  50%  0:12 elapsed  0:12 left" for `fraction` done (0..1) after
// `elapsed` seconds; the remaining time is extrapolated and left out until there is some
// progress to go by.
std::string progressLine(double fraction, double elapsed, int width = 30);

// Draws the line over the previous one ("\r" first); a newline once fraction reaches 1.
void drawProgress(double fraction, double elapsed);

}  // namespace app
}  // namespace ovo
