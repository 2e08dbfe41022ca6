// One direction of a patch surface (or a curve): how its control values become Bézier
// segments. A cubic basis with its step turns every window of four control values into a
// Bézier segment through one matrix; a linear direction is its own Bézier form; a NURBS
// direction is cut at its knots by knot insertion, each span with its own matrix. Every
// segment also knows where it lies in the shape's parameters (0..1), in the knot values, and
// in the spans that uniform and varying values are given for.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/shapes/bezier.h"

namespace ovo {
namespace shapes {

struct CubicBasis {
    const char* name;
    int step;
    double m[4][4];  // power coefficients [t³ t² t 1] · m · G
};

// The bases a cubic patch or curve may name, with their usual steps.
inline const CubicBasis* findCubicBasis(const std::string& name) {
    static const CubicBasis Bases[] = {
        {"bezier", 3, {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}}},
        {"bspline",
         1,
         {{-1 / 6.0, 3 / 6.0, -3 / 6.0, 1 / 6.0},
          {3 / 6.0, -6 / 6.0, 3 / 6.0, 0},
          {-3 / 6.0, 0, 3 / 6.0, 0},
          {1 / 6.0, 4 / 6.0, 1 / 6.0, 0}}},
        {"catmull-rom",
         1,
         {{-0.5, 1.5, -1.5, 0.5}, {1, -2.5, 2, -0.5}, {-0.5, 0, 0.5, 0}, {0, 1, 0, 0}}},
        {"hermite", 2, {{2, 1, -2, 1}, {-3, -2, 3, -1}, {0, 1, 0, 0}, {1, 0, 0, 0}}},
        {"power", 4, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}},
    };
    for (const CubicBasis& b : Bases)
        if (name == b.name) return &b;
    if (name == "b-spline") return &Bases[1];
    return nullptr;
}

// Where one Bézier segment of a direction comes from and where it lies.
struct Segment {
    int first;             // first control value it is made of
    int matrix;            // which conversion matrix (see Direction::toBezier)
    float lo, hi;          // its part of the shape's parameter, 0..1
    float knotLo, knotHi;  // the same in the direction's own parameter (the knots of a NURBS)
    int span;              // the span that its uniform and varying values belong to
    float f0, f1;          // where its ends lie in that span (varying values are linear in it)
};

class Direction {
  public:
    // `pieces` segments of a cubic basis: every `step` control values start one.
    static Direction cubic(const CubicBasis& basis, int step, int pieces) {
        // Bézier points from a window: the inverse of Bézier's matrix times the basis's.
        static const double BezierInverse[4][4] = {
            {0, 0, 0, 1}, {0, 0, 1 / 3.0, 1}, {0, 1 / 3.0, 2 / 3.0, 1}, {1, 1, 1, 1}};
        Direction d;
        d.degree = 3;
        d.spans = pieces;
        d.matrices.resize(16);
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) {
                double sum = 0.0;
                for (int k = 0; k < 4; ++k) sum += BezierInverse[a][k] * basis.m[k][b];
                d.matrices[std::size_t(4 * a + b)] = sum;
            }
        for (int k = 0; k < pieces; ++k) d.addUniform(k * step, 0, k, pieces);
        return d;
    }

    // n control values joined by straight pieces.
    static Direction linear(int n) {
        Direction d;
        d.degree = 1;
        d.spans = n - 1;
        d.matrices = {1, 0, 0, 1};
        for (int k = 0; k < n - 1; ++k) d.addUniform(k, 0, k, n - 1);
        return d;
    }

    // A NURBS of n control values, the given order and n + order knots (not decreasing),
    // kept between lo and hi. Empty spans make no segment. False when nothing is left.
    static bool nurbs(int n, int order, const float* knots, float lo, float hi, Direction& d) {
        const int p = order - 1;
        d = Direction();
        d.degree = p;
        d.spans = n - p;
        const double from = std::max(double(lo), double(knots[p]));
        const double to = std::min(double(hi), double(knots[n]));
        if (!(from < to)) return false;
        for (int i = p; i < n; ++i) {
            const double a = std::max(double(knots[i]), from);
            const double b = std::min(double(knots[i + 1]), to);
            if (!(a < b)) continue;
            const double width = double(knots[i + 1]) - double(knots[i]);
            Segment s;
            s.first = i - p;
            s.matrix = int(d.matrices.size()) / (order * order);
            s.lo = float((a - from) / (to - from));
            s.hi = float((b - from) / (to - from));
            s.knotLo = float(a);
            s.knotHi = float(b);
            s.span = i - p;
            s.f0 = float((a - knots[i]) / width);
            s.f1 = float((b - knots[i]) / width);
            d.segments.push_back(s);
            extractSpan(knots + (i - p), p, a, b, d.matrices);
        }
        return !d.segments.empty();
    }

    // The Bézier control values of segment k from control values `stride` floats apart (the
    // first of segment k's window at ctrl[first·stride]), D floats each: out holds
    // (degree + 1)·D floats.
    void toBezier(int k, const float* ctrl, std::size_t stride, int D, float* out) const {
        const Segment& s = segments[std::size_t(k)];
        const int n = degree + 1;
        const double* m = &matrices[std::size_t(s.matrix) * std::size_t(n * n)];
        for (int a = 0; a < n; ++a)
            for (int c = 0; c < D; ++c) {
                double sum = 0.0;
                for (int b = 0; b < n; ++b)
                    sum += m[a * n + b] *
                           double(ctrl[(std::size_t(s.first) + std::size_t(b)) * stride +
                                       std::size_t(c)]);
                out[a * D + c] = float(sum);
            }
    }

    int degree = 3;
    int spans = 0;  // uniform values along this direction; varying ones are spans + 1
    std::vector<Segment> segments;

  private:
    void addUniform(int first, int matrix, int k, int count) {
        Segment s;
        s.first = first;
        s.matrix = matrix;
        s.lo = s.knotLo = float(k) / float(count);
        s.hi = s.knotHi = float(k + 1) / float(count);
        s.span = k;
        s.f0 = 0.0f;
        s.f1 = 1.0f;
        segments.push_back(s);
    }

    // The Bézier form of the span [a, b] of a NURBS of degree p whose local knots t[0..2p+1]
    // bound it (t[p] <= a < b <= t[p+1]): knots a and b are inserted until each appears p
    // times, starting from the identity so that the result is the matrix taking the span's
    // p + 1 control values to its Bézier points. Appended to `out` row by row.
    static void extractSpan(const float* t, int p, double a, double b, std::vector<double>& out) {
        const int n = p + 1;
        std::vector<double> knots(t, t + 2 * p + 2);
        // ctrl[j] is a row of n coefficients over the original control values.
        std::vector<std::vector<double>> ctrl(std::size_t(n), std::vector<double>(n, 0.0));
        for (int j = 0; j < n; ++j) ctrl[std::size_t(j)][std::size_t(j)] = 1.0;
        insertUntil(knots, ctrl, p, a);
        insertUntil(knots, ctrl, p, b);
        // The span [a, b]: the last knot not above a.
        int s = 0;
        for (int i = 0; i + 1 < int(knots.size()); ++i)
            if (knots[std::size_t(i)] <= a && knots[std::size_t(i) + 1] > a) s = i;
        for (int j = s - p; j <= s; ++j)
            for (int c = 0; c < n; ++c)
                out.push_back(j >= 0 && j < int(ctrl.size()) ? ctrl[std::size_t(j)][std::size_t(c)]
                                                             : 0.0);
    }

    // Boehm's knot insertion of u until it appears p times. Inserting at either end of the
    // interval that holds u is exact, so the span's own p + 1 control values suffice.
    static void insertUntil(std::vector<double>& knots, std::vector<std::vector<double>>& ctrl,
                            int p, double u) {
        int multiplicity = int(std::count(knots.begin(), knots.end(), u));
        for (; multiplicity < p; ++multiplicity) {
            // The last non-empty interval that starts at or before u and has its p + 1
            // control values: at the span's right end that is the span itself.
            int k = -1;
            for (int i = 0; i < int(ctrl.size()) && i + 1 < int(knots.size()); ++i)
                if (knots[std::size_t(i)] <= u && knots[std::size_t(i)] < knots[std::size_t(i) + 1])
                    k = i;
            if (k < p) return;
            std::vector<std::vector<double>> next;
            next.reserve(ctrl.size() + 1);
            for (int j = 0; j <= int(ctrl.size()); ++j) {
                if (j <= k - p) {
                    next.push_back(ctrl[std::size_t(j)]);
                } else if (j > k) {
                    next.push_back(ctrl[std::size_t(j) - 1]);
                } else {
                    const double den = knots[std::size_t(j + p)] - knots[std::size_t(j)];
                    const double alpha = den > 0.0 ? (u - knots[std::size_t(j)]) / den : 0.0;
                    std::vector<double> row(ctrl[0].size());
                    for (std::size_t c = 0; c < row.size(); ++c)
                        row[c] = (1.0 - alpha) * ctrl[std::size_t(j) - 1][c] +
                                 alpha * ctrl[std::size_t(j)][c];
                    next.push_back(row);
                }
            }
            ctrl.swap(next);
            knots.insert(std::upper_bound(knots.begin(), knots.end(), u), u);
        }
    }

    std::vector<double> matrices;  // (degree + 1)² each, row by row
};

}  // namespace shapes
}  // namespace ovo
