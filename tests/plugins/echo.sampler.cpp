// Test sampler "echo": yields no samples, and appends what its entry received to the
// parameter list it was given, as "int[4] received" (resolution, samples per pixel) and
// "float[6] received" (crop window, filter width). Example: Attribute("string sampler", "echo").
#include "core/render/sampler.h"

namespace {

class EchoSampler : public ovo::Sampler {
  public:
    EchoSampler(unsigned* resolution, unsigned* samplesPerPixel, ovo::Extent2D& crop,
                float* filterWidth, ovo::ParameterSet& parameters)
        : Sampler(resolution, samplesPerPixel, crop, filterWidth, parameters) {}
    bool getNextSample(ovo::Sample&) override { return false; }
    ovo::Sampler* clone() const override { return new EchoSampler(*this); }
    void reset() override {}
};

}  // namespace

extern "C" ovo::Sampler* createSampler(unsigned* resolution, unsigned* samplesPerPixel,
                                       ovo::Extent2D& crop, float* filterWidth,
                                       ovo::ParameterSet& parameters) {
    const int counts[4] = {int(resolution[0]), int(resolution[1]), int(samplesPerPixel[0]),
                           int(samplesPerPixel[1])};
    const float window[6] = {crop.xmin, crop.xmax,      crop.ymin,
                             crop.ymax, filterWidth[0], filterWidth[1]};
    parameters.push_back("received", ovo::ParamType(ovo::TypeInt, 4), counts, true);
    parameters.push_back("received", ovo::ParamType(ovo::TypeFloat, 6), window, true);
    return new EchoSampler(resolution, samplesPerPixel, crop, filterWidth, parameters);
}
