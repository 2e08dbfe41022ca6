// The small value types of all geometry: Tuple and its refinements Point, Vector, Normal and
// HPoint, plus Color. Plain single-precision arithmetic, all inline: nothing here allocates,
// checks its input or reports; division by zero yields the IEEE infinities and NaNs.
#pragma once

#include <cmath>
#include <type_traits>

namespace ovo {

class Color;

// Four floats; every operation works on x, y, z. The fourth float travels with copies and is
// the w of HPoint. Constructors that define only three components set it to 0 so that copies
// never read an indeterminate value; the default constructor leaves everything unset.
class Tuple {
  public:
    float x, y, z, w;

    Tuple() = default;
    constexpr explicit Tuple(float s) : x(s), y(s), z(s), w(0.0f) {}
    constexpr Tuple(float x, float y, float z) : x(x), y(y), z(z), w(0.0f) {}
    constexpr Tuple(float x, float y, float z, float w) : x(x), y(y), z(z), w(w) {}
    explicit Tuple(const float* p) : x(p[0]), y(p[1]), z(p[2]), w(0.0f) {}
    inline Tuple(const Color& c);

    // Leaves w as it was.
    Tuple& operator=(float s) {
        x = y = z = s;
        return *this;
    }
    void set(const float* p) {
        x = p[0];
        y = p[1];
        z = p[2];
    }

    float operator[](int i) const { return (&x)[i]; }
    float& operator[](int i) { return (&x)[i]; }

    Tuple& operator+=(const Tuple& b) {
        x += b.x;
        y += b.y;
        z += b.z;
        return *this;
    }
    Tuple& operator-=(const Tuple& b) {
        x -= b.x;
        y -= b.y;
        z -= b.z;
        return *this;
    }
    Tuple& operator*=(const Tuple& b) {
        x *= b.x;
        y *= b.y;
        z *= b.z;
        return *this;
    }
    Tuple& operator+=(float s) {
        x += s;
        y += s;
        z += s;
        return *this;
    }
    Tuple& operator-=(float s) {
        x -= s;
        y -= s;
        z -= s;
        return *this;
    }
    Tuple& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    Tuple& operator/=(float s) {
        const float inv = 1.0f / s;
        x *= inv;
        y *= inv;
        z *= inv;
        return *this;
    }

    float length2() const { return x * x + y * y + z * z; }
    float length() const { return std::sqrt(length2()); }

    // No zero test: a zero tuple becomes NaN. Callers that may meet one test the length first.
    void normalize() {
        const float inv = 1.0f / std::sqrt(x * x + y * y + z * z);
        x *= inv;
        y *= inv;
        z *= inv;
    }
    Tuple hat() const {
        const float inv = 1.0f / std::sqrt(x * x + y * y + z * z);
        return Tuple(x * inv, y * inv, z * inv);
    }

    // Two further axes for this unit-length tuple; the w of a and b is meaningless afterwards.
    inline void coordinateSystem(Tuple& a, Tuple& b) const;

    // x wins a tie with y, z wins a tie with the leader.
    unsigned largestAxis() const {
        const float ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
        if (ay > ax) return ay > az ? 1u : 2u;
        return ax > az ? 0u : 2u;
    }

    // The largest axis first, then the other two by decreasing signed value (ties keep the
    // cyclic order).
    void sortAxis(int* axes) const {
        const int i = static_cast<int>(largestAxis());
        axes[0] = i;
        axes[1] = (i + 1) % 3;
        axes[2] = (i + 2) % 3;
        if ((*this)[axes[2]] > (*this)[axes[1]]) {
            const int t = axes[1];
            axes[1] = axes[2];
            axes[2] = t;
        }
    }
};

inline Tuple operator+(const Tuple& a, const Tuple& b) {
    return Tuple(a.x + b.x, a.y + b.y, a.z + b.z);
}
inline Tuple operator-(const Tuple& a, const Tuple& b) {
    return Tuple(a.x - b.x, a.y - b.y, a.z - b.z);
}
inline Tuple operator+(const Tuple& a, float s) { return Tuple(a.x + s, a.y + s, a.z + s); }
inline Tuple operator-(const Tuple& a, float s) { return Tuple(a.x - s, a.y - s, a.z - s); }
inline Tuple operator-(const Tuple& a) { return Tuple(-a.x, -a.y, -a.z); }
inline Tuple operator*(const Tuple& a, const Tuple& b) {
    return Tuple(a.x * b.x, a.y * b.y, a.z * b.z);
}
inline Tuple operator*(const Tuple& a, float s) { return Tuple(a.x * s, a.y * s, a.z * s); }
inline Tuple operator*(float s, const Tuple& a) { return Tuple(a.x * s, a.y * s, a.z * s); }
// One division, three multiplications.
inline Tuple operator/(const Tuple& a, float s) {
    const float inv = 1.0f / s;
    return Tuple(a.x * inv, a.y * inv, a.z * inv);
}
inline Tuple operator/(float s, const Tuple& a) { return Tuple(s / a.x, s / a.y, s / a.z); }
inline Tuple operator/(const Tuple& a, const Tuple& b) {
    return Tuple(a.x / b.x, a.y / b.y, a.z / b.z);
}
// Cross product.
inline Tuple operator^(const Tuple& a, const Tuple& b) {
    return Tuple(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline bool operator==(const Tuple& a, const Tuple& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}
inline bool operator!=(const Tuple& a, const Tuple& b) { return !(a == b); }
inline float dot(const Tuple& a, const Tuple& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline void Tuple::coordinateSystem(Tuple& a, Tuple& b) const {
    if (std::fabs(x) > std::fabs(y)) {
        const float r = 1.0f / std::sqrt(x * x + z * z);
        a = Tuple(-z * r, 0.0f, x * r);
    } else {
        const float r = 1.0f / std::sqrt(y * y + z * z);
        a = Tuple(0.0f, z * r, -y * r);
    }
    b = *this ^ a;
}

class HPoint;
class Vector;

class Point : public Tuple {
  public:
    Point() = default;
    constexpr explicit Point(float s) : Tuple(s) {}
    constexpr Point(float x, float y, float z) : Tuple(x, y, z) {}
    explicit Point(const float* p) : Tuple(p) {}
    constexpr Point(const Tuple& t) : Tuple(t) {}
    // Implicit on purpose: it must win over Point(const Tuple&), which would skip the division.
    inline Point(const HPoint& h);

    inline Point& operator+=(const Vector& v);
    inline Point& operator-=(const Vector& v);
};

class Vector : public Tuple {
  public:
    Vector() = default;
    constexpr explicit Vector(float s) : Tuple(s) {}
    constexpr Vector(float x, float y, float z) : Tuple(x, y, z) {}
    explicit Vector(const float* p) : Tuple(p) {}
    constexpr Vector(const Tuple& t) : Tuple(t) {}
    constexpr Vector(const Point& p) : Tuple(p) {}
};

class Normal : public Tuple {
  public:
    Normal() = default;
    constexpr explicit Normal(float s) : Tuple(s) {}
    constexpr Normal(float x, float y, float z) : Tuple(x, y, z) {}
    explicit Normal(const float* p) : Tuple(p) {}
    constexpr Normal(const Tuple& t) : Tuple(t) {}
    constexpr Normal(const Point& p) : Tuple(p.x, p.y, p.z) {}
    constexpr Normal(const Vector& v) : Tuple(v.x, v.y, v.z) {}
};

// Homogeneous point: stands for (x/w, y/w, z/w).
class HPoint : public Tuple {
  public:
    HPoint() = default;
    constexpr explicit HPoint(float s) : Tuple(s, s, s, s) {}
    constexpr HPoint(float x, float y, float z, float w) : Tuple(x, y, z, w) {}
    constexpr HPoint(const Tuple& t, float w) : Tuple(t.x, t.y, t.z, w) {}
    explicit HPoint(const float* p) : Tuple(p[0], p[1], p[2], p[3]) {}
};

// Three true divisions and no test of w: the caller knows whether w can be 0.
inline Point::Point(const HPoint& h) : Tuple(h.x / h.w, h.y / h.w, h.z / h.w) {}

inline Point& Point::operator+=(const Vector& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}
inline Point& Point::operator-=(const Vector& v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

// Typed forms of the Tuple operations, so results keep their geometric meaning. They are
// templates that match only their exact types: with the implicit conversions from Tuple, plain
// overloads would make mixed expressions such as Point - Vector or Point + Normal ambiguous;
// those fall back to the Tuple operators instead.
namespace detail {
template <class R, class T, class... Us>
using IfOneOf = std::enable_if_t<(std::is_same<T, Us>::value || ...), R>;
template <class R, class A, class B, class PA, class PB>
using IfPair = std::enable_if_t<std::is_same<A, PA>::value && std::is_same<B, PB>::value, R>;
}  // namespace detail

template <class T>
inline detail::IfOneOf<T, T, Point, Vector, Normal> operator*(const T& a, float s) {
    return T(a.x * s, a.y * s, a.z * s);
}
template <class T>
inline detail::IfOneOf<T, T, Point, Vector, Normal> operator*(float s, const T& a) {
    return T(a.x * s, a.y * s, a.z * s);
}
template <class T>
inline detail::IfOneOf<T, T, Point> operator+(const T& p, float s) {
    return T(p.x + s, p.y + s, p.z + s);
}
template <class T>
inline detail::IfOneOf<T, T, Point> operator-(const T& p, float s) {
    return T(p.x - s, p.y - s, p.z - s);
}
template <class T>
inline detail::IfOneOf<T, T, Vector, Normal> operator/(const T& a, float s) {
    const float inv = 1.0f / s;
    return T(a.x * inv, a.y * inv, a.z * inv);
}
template <class T>
inline detail::IfOneOf<T, T, Vector, Normal> operator+(const T& a, const T& b) {
    return T(a.x + b.x, a.y + b.y, a.z + b.z);
}
template <class T>
inline detail::IfOneOf<T, T, Vector, Normal> operator-(const T& a) {
    return T(-a.x, -a.y, -a.z);
}
// Vector - Vector is a Vector; Point - Point is the Vector between the points.
template <class T>
inline detail::IfOneOf<Vector, T, Vector, Point> operator-(const T& a, const T& b) {
    return Vector(a.x - b.x, a.y - b.y, a.z - b.z);
}
template <class A, class B>
inline detail::IfPair<Point, A, B, Point, Vector> operator+(const A& p, const B& v) {
    return Point(p.x + v.x, p.y + v.y, p.z + v.z);
}
template <class A, class B>
inline detail::IfPair<Point, A, B, Point, Vector> operator-(const A& p, const B& v) {
    return Point(p.x - v.x, p.y - v.y, p.z - v.z);
}

// Homogeneous arithmetic: results stand for the Euclidean sum or shift of the points.
inline HPoint operator*(float s, const HPoint& h) { return HPoint(s * h.x, s * h.y, s * h.z, h.w); }
inline HPoint operator*(const HPoint& h, float s) { return HPoint(s * h.x, s * h.y, s * h.z, h.w); }
inline HPoint operator+(const HPoint& a, const HPoint& b) {
    return HPoint(a.x * b.w + a.w * b.x, a.y * b.w + a.w * b.y, a.z * b.w + a.w * b.z, a.w * b.w);
}
inline HPoint operator-(const HPoint& a, const HPoint& b) {
    return HPoint(a.x * b.w - a.w * b.x, a.y * b.w - a.w * b.y, a.z * b.w - a.w * b.z, a.w * b.w);
}
inline HPoint operator+(const HPoint& h, float s) {
    const float ws = h.w * s;
    return HPoint(h.x + ws, h.y + ws, h.z + ws, h.w);
}
inline HPoint operator-(const HPoint& h, float s) {
    const float ws = h.w * s;
    return HPoint(h.x - ws, h.y - ws, h.z - ws, h.w);
}
// A plane evaluated at a point of weight 1.
inline float dot(const HPoint& h, const Tuple& p) {
    return h.x * p.x + h.y * p.y + h.z * p.z + h.w;
}
// A plane applied to a direction: no w term.
inline float dot(const HPoint& h, const Vector& v) { return h.x * v.x + h.y * v.y + h.z * v.z; }
inline float dot(const HPoint& a, const HPoint& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

// Three channels at the Tuple stride, so colour and tuple arrays have the same element size.
class Color {
  public:
    float r, g, b;
    float pad;  // stride only; never read

    Color() = default;
    constexpr explicit Color(float s) : r(s), g(s), b(s), pad(0.0f) {}
    constexpr Color(float r, float g, float b) : r(r), g(g), b(b), pad(0.0f) {}
    explicit Color(const float* p) : r(p[0]), g(p[1]), b(p[2]), pad(0.0f) {}
    constexpr explicit Color(const Tuple& t) : r(t.x), g(t.y), b(t.z), pad(0.0f) {}

    float operator[](int i) const { return (&r)[i]; }
    float& operator[](int i) { return (&r)[i]; }

    Color& operator+=(const Color& c) {
        r += c.r;
        g += c.g;
        b += c.b;
        return *this;
    }
    Color& operator-=(const Color& c) {
        r -= c.r;
        g -= c.g;
        b -= c.b;
        return *this;
    }
    Color& operator*=(const Color& c) {
        r *= c.r;
        g *= c.g;
        b *= c.b;
        return *this;
    }
    Color& operator/=(const Color& c) {
        r /= c.r;
        g /= c.g;
        b /= c.b;
        return *this;
    }
    Color& operator+=(float s) {
        r += s;
        g += s;
        b += s;
        return *this;
    }
    Color& operator-=(float s) {
        r -= s;
        g -= s;
        b -= s;
        return *this;
    }
    Color& operator*=(float s) {
        r *= s;
        g *= s;
        b *= s;
        return *this;
    }
    // Through one reciprocal, like the tuples.
    Color& operator/=(float s) {
        const float inv = 1.0f / s;
        r *= inv;
        g *= inv;
        b *= inv;
        return *this;
    }
};

inline Color operator+(const Color& a, const Color& b) {
    return Color(a.r + b.r, a.g + b.g, a.b + b.b);
}
inline Color operator-(const Color& a, const Color& b) {
    return Color(a.r - b.r, a.g - b.g, a.b - b.b);
}
inline Color operator*(const Color& a, const Color& b) {
    return Color(a.r * b.r, a.g * b.g, a.b * b.b);
}
inline Color operator/(const Color& a, const Color& b) {
    return Color(a.r / b.r, a.g / b.g, a.b / b.b);
}
inline Color operator+(const Color& c, float s) { return Color(c.r + s, c.g + s, c.b + s); }
inline Color operator+(float s, const Color& c) { return Color(c.r + s, c.g + s, c.b + s); }
inline Color operator-(const Color& c, float s) { return Color(c.r - s, c.g - s, c.b - s); }
inline Color operator-(float s, const Color& c) { return Color(s - c.r, s - c.g, s - c.b); }
inline Color operator*(const Color& c, float s) { return Color(c.r * s, c.g * s, c.b * s); }
inline Color operator*(float s, const Color& c) { return Color(c.r * s, c.g * s, c.b * s); }
inline Color operator/(const Color& c, float s) {
    const float inv = 1.0f / s;
    return Color(c.r * inv, c.g * inv, c.b * inv);
}
inline Color operator/(float s, const Color& c) { return Color(s / c.r, s / c.g, s / c.b); }
inline Color operator-(const Color& c) { return Color(-c.r, -c.g, -c.b); }
inline bool operator==(const Color& a, const Color& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}
inline bool operator!=(const Color& a, const Color& b) { return !(a == b); }

inline Tuple::Tuple(const Color& c) : x(c.r), y(c.g), z(c.b), w(0.0f) {}

static_assert(sizeof(Tuple) == 4 * sizeof(float), "Tuple is four floats");
static_assert(sizeof(Color) == sizeof(Tuple), "Color arrays have the Tuple stride");

}  // namespace ovo
