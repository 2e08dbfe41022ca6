#pragma once

namespace ovo {

// One camera sample. Image coordinates are raster pixels (pixel i covers [i, i + 1)); the
// sampler also fills a lens position and a time, each in [0, 1), which the camera maps onto
// its lens and its shutter interval.
class Sample {
  public:
    virtual ~Sample() {}
    Sample& operator=(const Sample&) = default;

    float imageX = 0.0f;
    float imageY = 0.0f;
    float lensU = 0.5f;
    float lensV = 0.5f;
    float time = 0.0f;
};

}  // namespace ovo
