#include "apps/ovo/progress.h"

#include <cmath>
#include <cstdio>

namespace ovo {
namespace app {

namespace {

std::string clock(double seconds) {
    long s = seconds > 0 && std::isfinite(seconds) ? long(seconds + 0.5) : 0;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

std::string progressLine(double fraction, double elapsed, int width) {
    if (!(fraction > 0)) fraction = 0;
    if (fraction > 1) fraction = 1;
    int filled = int(fraction * width + 0.5);
    std::string line = "[" + std::string(std::size_t(filled), '#') +
                       std::string(std::size_t(width - filled), '-') + "]";
    char percent[16];
    std::snprintf(percent, sizeof percent, " %3d%%", int(fraction * 100 + 0.5));
    line += percent;
    line += "  " + clock(elapsed) + " elapsed";
    if (fraction > 0 && fraction < 1)
        line += "  " + clock(elapsed * (1 - fraction) / fraction) + " left";
    return line;
}

void drawProgress(double fraction, double elapsed) {
    // Padding clears what a longer previous line left behind.
    std::fprintf(stderr, "\r%s    ", progressLine(fraction, elapsed).c_str());
    if (fraction >= 1) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace app
}  // namespace ovo
