#include "core/render/film.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace ovo {

namespace {

const int MaxCachedColumns = 64;
// A tile's pixels start at depth 1e30 (see accumulate).
const FilmPixel EmptyTilePixel = {0.0, 0.0, 0.0, 0.0, double(1e30f), 0.0};

// Table row or column of an offset d from the pixel centre. NaN (a zero filter width) and
// anything at or past the edge land on the last entry.
inline int tableIndex(float d, float invWidth) {
    const float f = d * invWidth * float(Film::TableSize);
    return f < float(Film::TableSize - 1) ? int(f) : Film::TableSize - 1;
}

// The pixels within the filter's reach of (dx, dy) (pixel-centre coordinates), clamped to a
// window. Works in floats until the range is known to be inside the window, so samples at
// NaN or huge coordinates never reach an int conversion.
inline bool footprintRange(float dx, float dy, float xw, float yw, int wx0, int wy0, int ww, int wh,
                           RasterExtent& r) {
    if (ww <= 0 || wh <= 0) return false;
    const float xa = std::ceil(dx - xw), xb = std::floor(dx + xw);
    const float ya = std::ceil(dy - yw), yb = std::floor(dy + yw);
    const float loX = float(wx0), hiX = float(wx0 + ww - 1);
    const float loY = float(wy0), hiY = float(wy0 + wh - 1);
    if (!(xa <= hiX && xb >= loX && ya <= hiY && yb >= loY && xa <= xb && ya <= yb)) return false;
    r.x0 = xa > loX ? int(xa) : wx0;
    r.x1 = xb < hiX ? int(xb) : wx0 + ww - 1;
    r.y0 = ya > loY ? int(ya) : wy0;
    r.y1 = yb < hiY ? int(yb) : wy0 + wh - 1;
    return true;
}

// A sample's share of one pixel: r, g, b and a gain the float products of the weight and the
// sample's values (widened: the double sums stay exact), the weight its own, and z the nearer.
// Two lanes at a time, the same sums as one by one. In a tile, empty pixels start at depth
// 1e30 so that the nearer is a minimum; the film's start at zero (zeroEmpty), where the first
// sample's depth is taken as it is.
template <bool zeroEmpty>
inline void accumulate(FilmPixel& px, __m128 colour, float w, __m128d depth) {
    static_assert(sizeof(FilmPixel) == 6 * sizeof(double) &&
                      offsetof(FilmPixel, weight) == 5 * sizeof(double),
                  "r, g, b, a, z, weight in a row");
    double* d = &px.r;
    const __m128 share = _mm_mul_ps(_mm_set1_ps(w), colour);
    _mm_storeu_pd(d, _mm_add_pd(_mm_loadu_pd(d), _mm_cvtps_pd(share)));
    _mm_storeu_pd(d + 2,
                  _mm_add_pd(_mm_loadu_pd(d + 2), _mm_cvtps_pd(_mm_movehl_ps(share, share))));
    // z as std::min(z, depth) takes it (depth only when below), weight + w above it.
    const __m128d zw = _mm_loadu_pd(d + 4);
    const __m128d depthWeight = _mm_unpacklo_pd(depth, _mm_set_sd(double(w)));
    __m128d nearer = _mm_min_sd(depthWeight, zw);
    if (zeroEmpty) {
        const __m128d empty = _mm_cmpeq_sd(_mm_unpackhi_pd(zw, zw), _mm_setzero_pd());
        nearer = _mm_or_pd(_mm_and_pd(empty, depth), _mm_andnot_pd(empty, nearer));
    }
    _mm_storeu_pd(d + 4, _mm_move_sd(_mm_add_pd(zw, depthWeight), nearer));
}

// splat for any reach: what the filter covers, clamped to the window, one pixel after another.
template <bool zeroEmpty>
void splatAnyReach(FilmPixel* pixels, int wx0, int wy0, int ww, int wh, const float* table,
                   float xw, float yw, float invXw, float invYw, const Point& p, __m128 colour,
                   __m128d depth) {
    const float dx = p.x - 0.5f, dy = p.y - 0.5f;
    RasterExtent r;
    if (!footprintRange(dx, dy, xw, yw, wx0, wy0, ww, wh, r)) return;
    // Column indices once per sample; rows are computed as the loop reaches them.
    int columns[MaxCachedColumns];
    const int n = std::min(r.x1 - r.x0 + 1, MaxCachedColumns);
    for (int k = 0; k < n; ++k) columns[k] = tableIndex(std::fabs(float(r.x0 + k) - dx), invXw);
    for (int y = r.y0; y <= r.y1; ++y) {
        const float* row = table + tableIndex(std::fabs(float(y) - dy), invYw) * Film::TableSize;
        FilmPixel* line = pixels + (y - wy0) * ww - wx0;
        for (int x = r.x0; x <= r.x1; ++x) {
            const int k = x - r.x0;
            const float w = row[k < MaxCachedColumns ? columns[k]
                                                     : tableIndex(std::fabs(float(x) - dx), invXw)];
            if (w > 0.0f) accumulate<zeroEmpty>(line[x], colour, w, depth);
        }
    }
}

// Where a sample lands, in the usual case: a sample well inside the float range and a filter
// less than three pixels wide (so a sample reaches at most 3 x 3 pixels). Works out the reach and
// the table rows and columns four lanes at a time; false when the sample needs splatAnyReach.
inline bool quickReach(int wx0, int wy0, int ww, int wh, float xw, float yw, float invXw,
                       float invYw, float x, float y, FilmReach& r) {
    if (!(xw < 1.5f && yw < 1.5f) || ww <= 0 || wh <= 0) return false;
    const float dx = x - 0.5f, dy = y - 0.5f;
    const __m128 sign = _mm_set1_ps(-0.0f);
    // (x0, y0, -x1, -y1) of the reach: ceilings of the near edges, floors of the far ones.
    const __m128 edges = _mm_sub_ps(_mm_setr_ps(dx, dy, -dx, -dy), _mm_setr_ps(xw, yw, xw, yw));
    // Past 2^23 (or NaN) a lane would not survive the integer round trip.
    if (_mm_movemask_ps(_mm_cmplt_ps(_mm_andnot_ps(sign, edges), _mm_set1_ps(8388608.0f))) != 15)
        return false;
    const __m128 truncated = _mm_cvtepi32_ps(_mm_cvttps_epi32(edges));
    const __m128 ceiling =
        _mm_add_ps(truncated, _mm_and_ps(_mm_cmplt_ps(truncated, edges), _mm_set1_ps(1.0f)));
    const __m128 window =
        _mm_setr_ps(float(wx0), float(wy0), -float(wx0 + ww - 1), -float(wy0 + wh - 1));
    alignas(16) int reach[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(reach),
                    _mm_cvttps_epi32(_mm_max_ps(ceiling, window)));
    const int x0 = reach[0], y0 = reach[1];
    r.nx = -reach[2] - x0 + 1;
    r.ny = -reach[3] - y0 + 1;
    if (r.nx <= 0 || r.ny <= 0) {
        r.first = r.nx = r.ny = 0;
        return true;
    }
    r.first = (y0 - wy0) * ww + (x0 - wx0);

    // The table rows and columns of four offsets each way, as tableIndex gives them.
    const __m128 steps = _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f);
    const __m128 last = _mm_set1_ps(float(Film::TableSize - 1));
    auto indices = [&](int first, float d, float inv) {
        const __m128 offset =
            _mm_sub_ps(_mm_add_ps(_mm_set1_ps(float(first)), steps), _mm_set1_ps(d));
        const __m128 f = _mm_mul_ps(_mm_mul_ps(_mm_andnot_ps(sign, offset), _mm_set1_ps(inv)),
                                    _mm_set1_ps(float(Film::TableSize)));
        return _mm_cvttps_epi32(_mm_min_ps(f, last));
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r.columns), indices(x0, dx, invXw));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r.rows), indices(y0, dy, invYw));
    return true;
}

// The sums of a sample whose reach quickReach found.
template <bool zeroEmpty>
inline void splatReach(FilmPixel* pixels, int ww, const float* table, const FilmReach& r,
                       __m128 colour, __m128d depth) {
    FilmPixel* line = pixels + r.first;
    for (int j = 0; j < r.ny; ++j, line += ww) {
        const float* row = table + r.rows[j] * Film::TableSize;
        for (int k = 0; k < r.nx; ++k) {
            const float w = row[r.columns[k]];
            if (w > 0.0f) accumulate<zeroEmpty>(line[k], colour, w, depth);
        }
    }
}

// Film::addSample on any window of pixels: the film itself or a render thread's tile.
template <bool zeroEmpty>
inline void splat(FilmPixel* pixels, int wx0, int wy0, int ww, int wh, const float* table, float xw,
                  float yw, float invXw, float invYw, const Point& p, const Color& c, float alpha) {
    const __m128 colour = _mm_setr_ps(c.r, c.g, c.b, alpha);
    const __m128d depth = _mm_set_sd(double(p.z));
    FilmReach r;
    if (quickReach(wx0, wy0, ww, wh, xw, yw, invXw, invYw, p.x, p.y, r))
        splatReach<zeroEmpty>(pixels, ww, table, r, colour, depth);
    else
        splatAnyReach<zeroEmpty>(pixels, wx0, wy0, ww, wh, table, xw, yw, invXw, invYw, p, colour,
                                 depth);
}

inline void normalise(FilmPixel& p) {
    if (p.weight != 0.0) {
        const double inv = 1.0 / p.weight;
        p.r *= inv;
        p.g *= inv;
        p.b *= inv;
        p.a *= inv;
    }
}

}  // namespace

Film::Film(unsigned* const res, Extent2D& crop, Filter* f)
    : pixels(nullptr), filter(f), table(new float[TableSize * TableSize]) {
    resolution[0] = res[0];
    resolution[1] = res[1];
    px0 = cropPixel(res[0], crop.xmin);
    py0 = cropPixel(res[1], crop.ymin);
    pwidth = std::max(0, cropPixel(res[0], crop.xmax) - px0);
    pheight = std::max(0, cropPixel(res[1], crop.ymax) - py0);
    if (pwidth > 0 && pheight > 0) {
        // Zeroed by the system, not here: the pages are first touched where buckets land.
        pixels = static_cast<FilmPixel*>(
            std::calloc(size_t(pwidth) * size_t(pheight), sizeof(FilmPixel)));
        if (!pixels) throw std::bad_alloc();
    }

    if (filter) {
        xwidth = filter->xwidth;
        ywidth = filter->ywidth;
        for (int j = 0; j < TableSize; ++j)
            for (int i = 0; i < TableSize; ++i)
                table[j * TableSize + i] = filter->evaluate((i + 0.5f) * xwidth / TableSize,
                                                            (j + 0.5f) * ywidth / TableSize);
    } else {
        // Without a filter every sample lands in its own pixel only.
        xwidth = ywidth = 0.5f;
        std::fill(table, table + TableSize * TableSize, 1.0f);
    }
    invXwidth = 1.0f / xwidth;
    invYwidth = 1.0f / ywidth;
}

Film::~Film() {
    outputs.clear();
    std::free(pixels);
    delete filter;
    delete[] table;
}

void Film::addSample(const Point& p, const Color& c, float alpha) {
    splat<true>(pixels, px0, py0, pwidth, pheight, table, xwidth, ywidth, invXwidth, invYwidth, p,
                c, alpha);
}

bool Film::footprint(float x, float y, RasterExtent& r) const {
    return footprintRange(x - 0.5f, y - 0.5f, xwidth, ywidth, px0, py0, pwidth, pheight, r);
}

void Film::weightPixels() {
    const size_t n = size_t(pwidth) * size_t(pheight);
    for (size_t i = 0; i < n; ++i) normalise(pixels[i]);
}

void Film::weightPixels(const RasterExtent& e) {
    const int xa = std::max(e.x0, px0), xb = std::min(e.x1, px0 + pwidth - 1);
    const int ya = std::max(e.y0, py0), yb = std::min(e.y1, py0 + pheight - 1);
    for (int y = ya; y <= yb; ++y)
        for (int x = xa; x <= xb; ++x) normalise(pixel(x, y));
}

void Film::setImager(std::unique_ptr<PixelImager> pixelImager) {
    imager = std::move(pixelImager);
    imaged.assign(imager ? size_t(pwidth) * size_t(pheight) * 4 : 0, 0.0f);
}

void Film::imagePixels(const RasterExtent& e) {
    if (!imager) return;
    const int xa = std::max(e.x0, px0), xb = std::min(e.x1, px0 + pwidth - 1);
    const int ya = std::max(e.y0, py0), yb = std::min(e.y1, py0 + pheight - 1);
    if (xa > xb || ya > yb) return;
    // One row at a time: the imager sees a run of pixels, the film keeps its doubles.
    std::vector<ImagerPixel> row(size_t(xb - xa + 1));
    for (int y = ya; y <= yb; ++y) {
        for (int x = xa; x <= xb; ++x) {
            const FilmPixel& p = pixel(x, y);
            ImagerPixel& q = row[size_t(x - xa)];
            // A pixel's integer raster position, its top-left corner: imager shaders written
            // for RenderMan-style renderers (a fisheye lens built from P) expect it there.
            q.position = Point(float(x), float(y), 0.0f);
            q.colour = Color(float(p.r), float(p.g), float(p.b));
            q.alpha = float(p.a);
            q.opacity = Color(q.alpha);
        }
        imager->image(row.data(), int(row.size()));
        for (int x = xa; x <= xb; ++x) {
            const ImagerPixel& q = row[size_t(x - xa)];
            float* out = &imaged[(size_t(y - py0) * size_t(pwidth) + size_t(x - px0)) * 4];
            out[0] = q.colour.r;
            out[1] = q.colour.g;
            out[2] = q.colour.b;
            // One coverage leaves the imager: alpha when it was changed, else the opacity when
            // that was (imagers written for opacity set Oi = 1 to make a pixel opaque).
            const float given = float(pixel(x, y).a);
            const bool opacityChanged =
                q.opacity.r != given || q.opacity.g != given || q.opacity.b != given;
            out[3] = q.alpha == given && opacityChanged
                         ? (q.opacity.r + q.opacity.g + q.opacity.b) / 3.0f
                         : q.alpha;
        }
    }
}

void Film::merge(const FilmTile& tile) {
    if (tile.getFilm() != this) return;
    for (int y = tile.y0(); y < tile.y0() + tile.height(); ++y) {
        for (int x = tile.x0(); x < tile.x0() + tile.width(); ++x) {
            const FilmPixel& t = tile.pixel(x, y);
            if (t.weight == 0.0) continue;  // nothing landed here
            FilmPixel& p = pixel(x, y);
            p.r += t.r;
            p.g += t.g;
            p.b += t.b;
            p.a += t.a;
            p.z = p.weight != 0.0 ? std::min(p.z, t.z) : t.z;
            p.weight += t.weight;
        }
    }
}

void Film::addOutput(std::unique_ptr<ImageWriter> output, const std::string& mode, float gamma) {
    if (!output) return;
    outputs.push_back(std::move(output));
    modes.push_back(mode);
    gammas.push_back(gamma);
}

void FilmTile::reset(const Film& f, const RasterExtent& s) {
    film = &f;
    twidth = theight = 0;
    // Samples lie in [x0, x1) x [y0, y1); a sample reaches what Film::addSample reaches, so
    // the tile spans the filter's reach beyond that rectangle, cut to the film window.
    const float fx0 = std::ceil(float(s.x0) - 0.5f - f.xwidth);
    const float fx1 = std::floor(float(s.x1) - 0.5f + f.xwidth);
    const float fy0 = std::ceil(float(s.y0) - 0.5f - f.ywidth);
    const float fy1 = std::floor(float(s.y1) - 0.5f + f.ywidth);
    const float filmX1 = float(f.px0 + f.pwidth - 1), filmY1 = float(f.py0 + f.pheight - 1);
    if (s.x0 >= s.x1 || s.y0 >= s.y1 || f.pwidth <= 0 || f.pheight <= 0 ||
        !(fx0 <= filmX1 && fx1 >= float(f.px0) && fy0 <= filmY1 && fy1 >= float(f.py0))) {
        pixels.clear();
        return;
    }
    tx0 = fx0 > float(f.px0) ? int(fx0) : f.px0;
    ty0 = fy0 > float(f.py0) ? int(fy0) : f.py0;
    twidth = (fx1 < filmX1 ? int(fx1) : int(filmX1)) - tx0 + 1;
    theight = (fy1 < filmY1 ? int(fy1) : int(filmY1)) - ty0 + 1;
    pixels.assign(size_t(twidth) * size_t(theight), EmptyTilePixel);
}

void FilmTile::addSample(const Point& p, const Color& c, float alpha) {
    if (!film) return;
    splat<false>(pixels.data(), tx0, ty0, twidth, theight, film->table, film->xwidth, film->ywidth,
                 film->invXwidth, film->invYwidth, p, c, alpha);
}

void FilmTile::reach(float x, float y, FilmReach& r) const {
    r.quick = film && quickReach(tx0, ty0, twidth, theight, film->xwidth, film->ywidth,
                                 film->invXwidth, film->invYwidth, x, y, r);
}

void FilmTile::addSample(const FilmReach& r, const Point& p, const Color& c, float alpha) {
    if (!r.quick) {
        addSample(p, c, alpha);
        return;
    }
    splatReach<false>(pixels.data(), twidth, film->table, r, _mm_setr_ps(c.r, c.g, c.b, alpha),
                      _mm_set_sd(double(p.z)));
}

}  // namespace ovo
