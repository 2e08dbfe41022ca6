// Film: the pixels of one frame. Samples are spread over nearby pixels with a tabulated
// filter; finished regions are normalised by their weights and written to the outputs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/image/writer.h"
#include "core/math/tuple.h"
#include "core/render/extent.h"
#include "core/render/filter.h"
#include "core/render/imager.h"

namespace ovo {

// Sums in double: every contribution is a float, so a pixel's sums come out exact (and thus
// the same in any order: whichever thread, bucket or crop window added them) unless its
// contributions span more than about 2^22 in magnitude. A pixel no sample reached is all
// zeros (weights are only ever added when positive), so a film starts as fresh zeroed memory
// that the render threads touch first; its z holds the nearest depth once weight is non-zero.
struct FilmPixel {
    double r, g, b, a, z, weight;

    // The nearest depth, 1e30 where nothing landed.
    double depth() const { return weight != 0.0 ? z : double(1e30f); }
};

class FilmTile;

// Where one sample lands in a tile, worked out ahead of its colour (FilmTile::reach).
struct FilmReach {
    bool quick;      // false: the sample takes the general path when it is added
    int first;       // the first pixel reached, as an index into the tile
    int nx, ny;      // how many pixels it reaches each way (0: none)
    int columns[4];  // filter table columns and rows of those pixels
    int rows[4];
};

class Film {
  public:
    static const int TableSize = 16;

    // Takes ownership of the filter.
    Film(unsigned* const resolution, Extent2D& crop, Filter* filter);
    ~Film();
    Film(const Film&) = delete;
    Film& operator=(const Film&) = delete;

    // p is (image x, image y, depth).
    void addSample(const Point& p, const Color& c, float alpha);
    void weightPixels();
    void weightPixels(const RasterExtent& extent);  // inclusive bounds

    // Takes ownership of the imager, which then runs on every pixel that imagePixels reaches;
    // the colour outputs write what it made (alpha and depth outputs keep the film's values).
    void setImager(std::unique_ptr<PixelImager> pixelImager);
    bool hasImager() const { return imager != nullptr; }
    // Runs the imager on weighted pixels (inclusive bounds); nothing without an imager.
    void imagePixels(const RasterExtent& extent);
    // The imager's r, g, b, alpha of pixel (x, y) (raster coordinates inside the window).
    const float* imagedPixel(int x, int y) const {
        return &imaged[(size_t(y - py0) * size_t(pwidth) + size_t(x - px0)) * 4];
    }

    // The pixels a sample at (x, y) reaches, clamped to the window (inclusive bounds); false
    // when it reaches none.
    bool footprint(float x, float y, RasterExtent& pixels) const;
    // Adds a tile's sums into the film: colours, alpha and weights add, depths take the minimum.
    void merge(const FilmTile& tile);

    // The film owns the writers. gamma is the output's display gamma (1 writes linear values).
    void addOutput(std::unique_ptr<ImageWriter> output, const std::string& mode,
                   float gamma = 1.0f);
    const std::vector<std::unique_ptr<ImageWriter>>& getOutputs() const { return outputs; }
    const std::vector<std::string>& getModes() const { return modes; }
    const std::vector<float>& getGammas() const { return gammas; }
    // Set once the outputs have been written and closed, so that closing twice does nothing.
    bool outputsClosed() const { return closed; }
    void outputsClosed(bool c) { closed = c; }

    unsigned xResolution() const { return resolution[0]; }
    unsigned yResolution() const { return resolution[1]; }
    int x0() const { return px0; }
    int y0() const { return py0; }
    int width() const { return pwidth; }
    int height() const { return pheight; }
    // Pixel (x, y) in raster coordinates (inside the window).
    FilmPixel& pixel(int x, int y) { return pixels[(y - py0) * pwidth + (x - px0)]; }
    const FilmPixel& pixel(int x, int y) const { return pixels[(y - py0) * pwidth + (x - px0)]; }
    FilmPixel* data() { return pixels; }
    const Filter* getFilter() const { return filter; }
    const float* getFilterTable() const { return table; }

  private:
    friend class FilmTile;

    unsigned resolution[2];
    int px0, py0, pwidth, pheight;
    FilmPixel* pixels;
    Filter* filter;
    float* table;
    // The filter's half-widths and their inverses, kept here for the sample loop.
    float xwidth, ywidth, invXwidth, invYwidth;
    std::vector<std::unique_ptr<ImageWriter>> outputs;
    std::vector<std::string> modes;
    std::vector<float> gammas;
    bool closed = false;
    std::unique_ptr<PixelImager> imager;
    std::vector<float> imaged;  // r, g, b, alpha per pixel once imaged
};

// A render thread's private accumulation buffer for one bucket: the film's window cut down to
// the pixels that samples of a sampling rectangle can reach. Same lookup as Film::addSample.
class FilmTile {
  public:
    FilmTile() = default;

    // Starts an empty tile for samples in `sampling` (x1, y1 exclusive). Keeps its memory
    // between buckets, so only a larger bucket allocates.
    void reset(const Film& film, const RasterExtent& sampling);
    void addSample(const Point& p, const Color& c, float alpha);
    // The same sums in two steps: where a sample at (x, y) lands, which needs no colour, and
    // then the sample itself (p.x and p.y as given to reach). A batch of samples can so work out
    // where all of them land side by side before any is shaded.
    void reach(float x, float y, FilmReach& r) const;
    void addSample(const FilmReach& r, const Point& p, const Color& c, float alpha);

    const Film* getFilm() const { return film; }
    int x0() const { return tx0; }
    int y0() const { return ty0; }
    int width() const { return twidth; }
    int height() const { return theight; }
    const FilmPixel& pixel(int x, int y) const { return pixels[(y - ty0) * twidth + (x - tx0)]; }

  private:
    const Film* film = nullptr;
    int tx0 = 0, ty0 = 0, twidth = 0, theight = 0;
    std::vector<FilmPixel> pixels;
};

}  // namespace ovo
