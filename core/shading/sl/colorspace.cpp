// Colour spaces: the hexcone models of Foley and van Dam for hue, saturation and value or
// lightness, and the linear transforms for XYZ and YIQ.
#include "core/shading/sl/colorspace.h"

#include <algorithm>
#include <cmath>

#include "core/shading/sl/strings.h"

namespace SL {

namespace {

// The hue of a grey: undefined in the hexcone model, -1 degree here.
constexpr float GreyHue = -1.0f / 360.0f;

inline float maxOf(const Color& c) { return std::max(c.r, std::max(c.g, c.b)); }
inline float minOf(const Color& c) { return std::min(c.r, std::min(c.g, c.b)); }

// The hue of a colour whose components spread over delta > 0, as a fraction of a turn.
float hue(const Color& c, float max, float delta) {
    float sector;
    if (c.r == max)
        sector = (c.g - c.b) / delta;
    else if (c.g == max)
        sector = 2.0f + (c.b - c.r) / delta;
    else
        sector = 4.0f + (c.r - c.g) / delta;
    float degrees = 60.0f * sector;
    if (degrees < 0.0f) degrees += 360.0f;
    return degrees / 360.0f;
}

Color toHsv(const Color& c) {
    const float max = maxOf(c), min = minOf(c);
    const float s = max != 0.0f ? (max - min) / max : 0.0f;
    const float h = s == 0.0f ? GreyHue : hue(c, max, max - min);
    return Color(h, s, max);
}

Color toHsl(const Color& c) {
    const float max = maxOf(c), min = minOf(c);
    const float l = (max + min) * 0.5f;
    const float delta = max - min;
    if (delta <= 1e-6f) return Color(GreyHue, 0.0f, l);
    const float s = l < 0.5f ? delta / (max + min) : delta / (2.0f - max - min);
    return Color(hue(c, max, delta), s, l);
}

Color multiply(const float (&m)[3][3], const Color& c) {
    return Color(m[0][0] * c.r + m[0][1] * c.g + m[0][2] * c.b,
                 m[1][0] * c.r + m[1][1] * c.g + m[1][2] * c.b,
                 m[2][0] * c.r + m[2][1] * c.g + m[2][2] * c.b);
}

constexpr float RgbToXyz[3][3] = {{0.412453f, 0.357580f, 0.180423f},
                                  {0.212671f, 0.715160f, 0.072169f},
                                  {0.019334f, 0.119193f, 0.950227f}};
constexpr float XyzToRgb[3][3] = {{3.240479f, -1.537150f, -0.498535f},
                                  {-0.969256f, 1.875991f, 0.041556f},
                                  {0.055648f, -0.204043f, 1.057311f}};
constexpr float RgbToYiq[3][3] = {
    {0.299f, 0.587f, 0.114f}, {0.596f, -0.274f, -0.322f}, {0.212f, -0.523f, 0.311f}};
constexpr float YiqToRgb[3][3] = {
    {1.0f, 0.956f, 0.621f}, {1.0f, -0.272f, -0.647f}, {1.0f, -1.105f, 1.702f}};

Color toXyY(const Color& c) {
    const Color xyz = multiply(RgbToXyz, c);
    const float sum = xyz.r + xyz.g + xyz.b;
    if (sum == 0.0f) return Color(0.0f, 0.0f, xyz.g);
    return Color(xyz.r / sum, xyz.g / sum, xyz.g);
}

// The hue of a fraction of a turn in degrees, in [0, 360).
inline float hueDegrees(float h) {
    float d = std::fmod(h * 360.0f, 360.0f);
    if (d < 0.0f) d += 360.0f;
    return d;
}

Color fromHsv(const Color& hsv) {
    const float h = hueDegrees(hsv.r) / 60.0f;
    const float s = std::min(1.0f, std::max(0.0f, hsv.g)), v = hsv.b;
    if (s == 0.0f) return Color(v);
    const float sector = std::floor(h), f = h - sector;
    // A hue that rounded up to a full turn (or is not a number) lands in no sector: black.
    if (!(sector >= 0.0f && sector < 6.0f)) return Color(0.0f);
    const float p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
    switch (int(sector)) {
        case 0:
            return Color(v, t, p);
        case 1:
            return Color(q, v, p);
        case 2:
            return Color(p, v, t);
        case 3:
            return Color(p, q, v);
        case 4:
            return Color(t, p, v);
        default:
            return Color(v, p, q);
    }
}

// One component of the hexcone's double cone, for the hue `h` in degrees.
float hslComponent(float m1, float m2, float h) {
    if (h >= 360.0f) h -= 360.0f;
    if (h < 0.0f) h += 360.0f;
    if (h < 60.0f) return m1 + (m2 - m1) * h / 60.0f;
    if (h < 180.0f) return m2;
    if (h < 240.0f) return m1 + (m2 - m1) * (240.0f - h) / 60.0f;
    return m1;
}

Color fromHsl(const Color& hsl) {
    const float h = hueDegrees(hsl.r);
    const float s = std::min(1.0f, std::max(0.0f, hsl.g)), l = hsl.b;
    if (s == 0.0f) return Color(l);
    const float m2 = l < 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float m1 = 2.0f * l - m2;
    return Color(hslComponent(m1, m2, h + 120.0f), hslComponent(m1, m2, h),
                 hslComponent(m1, m2, h - 120.0f));
}

Color fromXyY(const Color& xyY) {
    const float x = xyY.r, y = xyY.g, Y = xyY.b;
    Color xyz(0.0f, Y, 0.0f);
    if (Y != 0.0f) {
        xyz.r = std::max(0.0f, Y * x / y);
        xyz.b = std::max(0.0f, (1.0f - x - y) * Y / y);
    }
    return multiply(XyzToRgb, xyz);
}

Color toRgb(OIIO::ustring from, const Color& c) {
    if (from == strings::hsv) return fromHsv(c);
    if (from == strings::hsl) return fromHsl(c);
    if (from == strings::XYZ) return multiply(XyzToRgb, c);
    if (from == strings::xyY) return fromXyY(c);
    if (from == strings::YIQ) return multiply(YiqToRgb, c);
    return c;
}

}  // namespace

Color ctransform(OIIO::ustring to, Color& c) {
    if (to == strings::hsv) return toHsv(c);
    if (to == strings::hsl) return toHsl(c);
    if (to == strings::XYZ) return multiply(RgbToXyz, c);
    if (to == strings::xyY) return toXyY(c);
    if (to == strings::YIQ) return multiply(RgbToYiq, c);
    return c;
}

Color ctransform(OIIO::ustring from, OIIO::ustring to, Color& c) {
    Color rgb = toRgb(from, c);
    return ctransform(to, rgb);
}

}  // namespace SL
