// Sampler: the base of sampler plugins, which yield camera samples over a rectangle of
// sample space. Each render thread uses its own clone.
#pragma once

#include <string>

#include "core/params/parameter.h"
#include "core/render/extent.h"
#include "core/render/sample.h"

namespace ovo {

class Sampler {
  public:
    // resolution[2], samples per pixel[2], crop window, filter width[2].
    Sampler(unsigned* const resolution, unsigned* const samplesPerPixel, Extent2D& crop,
            float* const filterWidth, ParameterSet& parameters);
    Sampler(const Sampler&) = default;
    virtual ~Sampler();

    // False when the sampling extent is exhausted.
    virtual bool getNextSample(Sample& sample) = 0;
    virtual Sampler* clone() const = 0;
    // Restarts over the current sampling extent.
    virtual void reset() = 0;

    int totalSamples() const;
    // x1 and y1 exclusive; restarts the sampler.
    void setSamplingBoundaries(const RasterExtent& extent);
    const RasterExtent& getSamplingBoundaries() const { return extent; }

  protected:
    unsigned resolution[2];
    unsigned samplesPerPixel[2];
    float reserved[2];    // free for concrete samplers
    RasterExtent extent;  // x0, x1, y0, y1 (x1, y1 exclusive)
};

// Loads the sampler plugin `name`; throws Error when it cannot be loaded.
Sampler* createSampler(const std::string& name, const std::string& searchPath, unsigned* resolution,
                       unsigned* samplesPerPixel, Extent2D& crop, float* filterWidth,
                       ParameterSet& parameters);

}  // namespace ovo

extern "C" typedef ovo::Sampler* (*OvoCreateSamplerEntry)(unsigned*, unsigned*, ovo::Extent2D&,
                                                          float*, ovo::ParameterSet&);
