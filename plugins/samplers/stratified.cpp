// stratified: jittered stratified sampling, the default sampler.
//
// Every pixel is cut into "spatialquality" x by y strata and gets one sample in each, placed at
// random within its stratum. Each pixel's samples also get stratified lens positions (for depth of
// field) and times spread evenly over the shutter, shuffled against the image positions so that
// time, lens and position do not correlate. Pixels are visited row by row. The samples per pixel
// come from "spatialquality" (PixelSamples in a RIB file), default 2 2, at most 256 per axis.
// Each pixel reseeds the thread's random numbers from its position and the frame number, so a
// pixel comes out the same whatever thread, bucket order or crop window renders it (tiles
// rendered apart stitch into the very image rendered whole). Without lens positions or times
// a pixel's random numbers leap over the draws they would have taken, so what its samples'
// shading draws is the same either way.
//
// Parameters:
//   type   name    default  meaning
//   int    jitter  1        1 places samples at random within their strata; 0 at the stratum
//                           centres, with lens and time at their stratum centres too, unshuffled
//   int    frame   0        the frame number mixed into every pixel's seed (the renderer passes
//                           its "frame" option, which a RIB FrameBegin sets)
//   int    lens    1        0 leaves every lens position at the lens centre (the renderer passes
//                           0 for a camera without depth of field)
//   int    time    1        0 leaves every time at mid-shutter (the renderer passes 0 for a
//                           shutter that opens and closes at once)
//
// Example:
//   Option "render" "string sampler" ["stratified"]
//   PixelSamples 4 4
#include <algorithm>
#include <vector>

#include "core/math/random.h"
#include "core/math/sampling.h"
#include "core/render/sampler.h"

namespace {

using namespace ovo;

// The largest float below 1: stratum arithmetic can round up to 1, which belongs to the next
// pixel (or past the shutter).
const float OneMinusEpsilon = 0x1.fffffep-1f;

const unsigned MaxPerAxis = 256;

inline float belowOne(float v) { return v < OneMinusEpsilon ? v : OneMinusEpsilon; }

class StratifiedSampler : public Sampler {
  public:
    StratifiedSampler(unsigned* resolution, unsigned* spp, Extent2D& crop, float* filterWidth,
                      ParameterSet& parameters)
        : Sampler(resolution, spp, crop, filterWidth, parameters),
          jitter(parameters.findInt("jitter", 1) != 0),
          frame(parameters.findInt("frame", 0)),
          makeLens(parameters.findInt("lens", 1) != 0),
          makeTime(parameters.findInt("time", 1) != 0) {
        // A per-pixel table of a few million floats is already absurd; beyond it, clamp.
        for (unsigned& n : samplesPerPixel) n = n < MaxPerAxis ? n : MaxPerAxis;
        perPixel = size_t(samplesPerPixel[0]) * samplesPerPixel[1];
        positions.resize(2 * perPixel);
        lens.resize(2 * perPixel);
        times.resize(perPixel);
        std::fill(lens.begin(), lens.end(), 0.5f);
        std::fill(times.begin(), times.end(), 0.5f);
        leapN = XorshiftLeap(perPixel);
        leap2n = XorshiftLeap(2 * perPixel);
        leap5n = XorshiftLeap(5 * perPixel);
        // The stratum size, for whoever wants it.
        reserved[0] = samplesPerPixel[0] ? 1.0f / samplesPerPixel[0] : 0.0f;
        reserved[1] = samplesPerPixel[1] ? 1.0f / samplesPerPixel[1] : 0.0f;
        reset();
    }

    bool getNextSample(Sample& sample) override {
        if (perPixel == 0 || extent.x0 >= extent.x1 || py >= extent.y1) return false;
        if (next == 0) fillPixel();
        sample.imageX = float(px) + belowOne(positions[2 * next]);
        sample.imageY = float(py) + belowOne(positions[2 * next + 1]);
        sample.lensU = belowOne(lens[2 * next]);
        sample.lensV = belowOne(lens[2 * next + 1]);
        sample.time = belowOne(times[next]);
        if (++next == perPixel) {
            next = 0;
            if (++px >= extent.x1) {
                px = extent.x0;
                ++py;
            }
        }
        return true;
    }

    Sampler* clone() const override { return new StratifiedSampler(*this); }

    void reset() override {
        px = extent.x0;
        py = extent.y0;
        next = 0;
    }

  private:
    void fillPixel() {
        const int nx = int(samplesPerPixel[0]), ny = int(samplesPerPixel[1]);
        const int n = int(perPixel);
        randomState() = pixelSeed(px, py, frame);
        StratifiedSample2D(positions.data(), nx, ny, jitter);
        if (!jitter) {
            if (makeLens) StratifiedSample2D(lens.data(), nx, ny, false);
            if (makeTime) StratifiedSample1D(times.data(), n, false);
            return;
        }
        // The draws come in this order: lens (2n), times (n), lens shuffle (n), time shuffle (n).
        // What is not made is leapt over where it stands.
        uint32_t& state = randomState();
        if (!makeLens && !makeTime) {
            state = leap5n(state);
            return;
        }
        if (makeLens)
            StratifiedSample2D(lens.data(), nx, ny, true);
        else
            state = leap2n(state);
        if (makeTime)
            StratifiedSample1D(times.data(), n, true);
        else
            state = leapN(state);
        if (makeLens)
            Shuffle(lens.data(), n, 2);
        else
            state = leapN(state);
        if (makeTime)
            Shuffle(times.data(), n, 1);
        else
            state = leapN(state);
    }

    bool jitter;
    int frame;
    bool makeLens, makeTime;
    XorshiftLeap leapN, leap2n, leap5n;  // over n, 2n and 5n draws, n the samples of a pixel
    size_t perPixel = 0;
    size_t next = 0;  // index of the next sample within the current pixel
    int px = 0, py = 0;
    std::vector<float> positions, lens, times;  // one pixel's worth, refilled per pixel
};

}  // namespace

extern "C" ovo::Sampler* createSampler(unsigned* resolution, unsigned* samplesPerPixel,
                                       ovo::Extent2D& crop, float* filterWidth,
                                       ovo::ParameterSet& parameters) {
    return new StratifiedSampler(resolution, samplesPerPixel, crop, filterWidth, parameters);
}
