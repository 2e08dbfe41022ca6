// BakeStore: the samples that shaders bake during a frame (bake(file, s, t, value)), kept
// until the frame ends and then written, one text file per name.
//
// A bake file has one line per sample: "s t v" for float values, "s t r g b" for colours (a
// file that was given both writes its floats as grey), numbers in "%g" form, lines sorted by
// s, t and value so that the file does not depend on threads or bucket order. Plain columns
// are what point-list and texture-making tools read.
#pragma once

#include <OpenImageIO/ustring.h>

#include <memory>
#include <string>
#include <vector>

#include "sys/tasking.h"

namespace ovo {

class BakeStore {
  public:
    // One slot per render thread (thread ids 0..threads-1).
    explicit BakeStore(unsigned threads);
    ~BakeStore();
    BakeStore(const BakeStore&) = delete;
    BakeStore& operator=(const BakeStore&) = delete;

    // Keeps one sample of `channels` (1 or 3) values for `file`. Called by render threads:
    // each appends to the slot of its thread id, whose lock no other thread normally takes.
    void add(OIIO::ustring file, float s, float t, const float* value, int channels);

    // A file that could not be written, and why.
    struct Failure {
        std::string file;
        std::string why;
    };
    // Writes every file named since the last write and forgets its samples. Called when the
    // frame ends, with no render thread running.
    std::vector<Failure> write();

  private:
    struct Sample {
        OIIO::ustring file;
        float s, t;
        float value[3];
        int channels;
    };
    // A cache line each, so that threads baking side by side do not share one.
    struct alignas(64) Slot {
        sys::ActiveMutex lock;
        std::vector<Sample> samples;
    };
    std::unique_ptr<Slot[]> slots;
    unsigned count;
};

}  // namespace ovo
