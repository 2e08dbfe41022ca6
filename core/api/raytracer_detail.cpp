#include <algorithm>
#include <cmath>

#include "core/api/detail.h"
#include "core/api/raytracer.h"

namespace ovo {

void placeBound(const Transform& objectToWorld, const float bound[6], Point corners[8]) {
    for (int i = 0; i < 8; ++i)
        corners[i] = objectToWorld *
                     Point(bound[i & 1], bound[2 + ((i >> 1) & 1)], bound[4 + ((i >> 2) & 1)]);
}

float rasterArea(const Transform& worldToRaster, const Point corners[8]) {
    float x0 = HUGE_VALF, x1 = -HUGE_VALF, y0 = HUGE_VALF, y1 = -HUGE_VALF;
    for (int i = 0; i < 8; ++i) {
        const HPoint h = worldToRaster * HPoint(corners[i], 1.0f);
        if (!(h.w > 0.0f)) return DetailInfinity;
        const float x = h.x / h.w, y = h.y / h.w;
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    const double area = double(x1 - x0) * double(y1 - y0);
    return area < double(DetailInfinity) ? float(area) : DetailInfinity;
}

bool detailDraws(float detail, const float range[4]) {
    // Midpoints in double: the sum of two large floats stays finite.
    const double low = 0.5 * (double(range[0]) + double(range[1]));
    const double high = 0.5 * (double(range[2]) + double(range[3]));
    if (detail < low) return false;
    return range[3] >= DetailInfinity || detail < high;
}

// No bound, or no camera that projects, leaves the detail unbounded: the finest level draws.
float Raytracer::currentDetail() const {
    const LevelOfDetail& level = getAttributes().detail;
    if (!level.hasBound) return DetailInfinity;
    static const OIIO::ustring Raster("raster");
    const auto raster = namedSpaces.find(Raster);
    if (raster == namedSpaces.end()) return DetailInfinity;
    return rasterArea(raster->second.inverse(), level.corners);
}

}  // namespace ovo
