#include "core/shading/bake.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace ovo {

BakeStore::BakeStore(unsigned threads)
    : slots(new Slot[std::max(1u, threads)]), count(std::max(1u, threads)) {}

BakeStore::~BakeStore() {}

void BakeStore::add(OIIO::ustring file, float s, float t, const float* value, int channels) {
    // A thread outside the pool shares a slot, which is why the slot has a lock at all.
    Slot& slot = slots[sys::getThreadID() % count];
    Sample sample;
    sample.file = file;
    sample.s = s;
    sample.t = t;
    sample.channels = channels == 3 ? 3 : 1;
    for (int c = 0; c < 3; ++c) sample.value[c] = value[c < sample.channels ? c : 0];
    std::lock_guard<sys::ActiveMutex> hold(slot.lock);
    slot.samples.push_back(sample);
}

namespace {

bool before(const float* a, const float* b) {
    for (int i = 0; i < 5; ++i)
        if (a[i] != b[i]) return a[i] < b[i];
    return false;
}

}  // namespace

std::vector<BakeStore::Failure> BakeStore::write() {
    // Gathered by file: s, t and three values per sample, the width of the widest sample.
    struct Rows {
        std::vector<float> numbers;
        int channels = 1;
    };
    std::map<std::string, Rows> files;
    for (unsigned i = 0; i < count; ++i) {
        for (const Sample& sample : slots[i].samples) {
            Rows& rows = files[sample.file.string()];
            rows.channels = std::max(rows.channels, sample.channels);
            rows.numbers.insert(rows.numbers.end(), {sample.s, sample.t, sample.value[0],
                                                     sample.value[1], sample.value[2]});
        }
        std::vector<Sample>().swap(slots[i].samples);
    }
    std::vector<Failure> failures;
    for (auto& named : files) {
        Rows& rows = named.second;
        const size_t n = rows.numbers.size() / 5;
        std::vector<const float*> order(n);
        for (size_t i = 0; i < n; ++i) order[i] = &rows.numbers[5 * i];
        std::sort(order.begin(), order.end(), before);
        std::FILE* out = std::fopen(named.first.c_str(), "w");
        if (!out) {
            failures.push_back({named.first, std::strerror(errno)});
            continue;
        }
        for (const float* r : order) {
            if (rows.channels == 3)
                std::fprintf(out, "%g %g %g %g %g\n", r[0], r[1], r[2], r[3], r[4]);
            else
                std::fprintf(out, "%g %g %g\n", r[0], r[1], r[2]);
        }
        if (std::fclose(out) != 0) failures.push_back({named.first, std::strerror(errno)});
    }
    return failures;
}

}  // namespace ovo
