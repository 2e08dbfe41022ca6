// Hit records: construction, classification against a direction, and the merge of two hit lists
// into the boundary of a Boolean combination of solids.
#include "core/geometry/hit.h"

#include <iterator>

namespace ovo {

Hit::Hit() {}

namespace {
// Emptied hits whose list nodes wait for the next query of this thread.
thread_local std::list<Hit> spareHits;
}  // namespace

void Hit::prepareThread() { (void)spareHits.empty(); }

Hit& Hit::append(std::list<Hit>& list) {
    if (spareHits.empty())
        list.emplace_back();
    else
        list.splice(list.end(), spareHits, spareHits.begin());
    return list.back();
}

void Hit::recycle(std::list<Hit>& list, std::list<Hit>::iterator first) {
    // Spares hold no references, so that nothing they last saw is kept alive by them.
    for (auto h = first; h != list.end(); ++h) *h = Hit();
    spareHits.splice(spareHits.end(), list, first, list.end());
}

Hit::State Hit::classify(const Vector& d) const {
    return dot(env.Ng, d) >= 0.0f ? Leaving : Entering;
}

// A walk over both sorted lists keeping the crossings of one operand that lie inside the other.
// b's hits are moved into a rather than copied (b is scratch for the caller): a hit record is
// several kilobytes.
void Hit::merge(std::list<Hit>& a, bool complementA, std::list<Hit>& b, bool complementB) {
    // An odd count of crossings means the ray starts inside that operand.
    mergeFrom(a, complementA != ((a.size() & 1) != 0), b, complementB != ((b.size() & 1) != 0));
}

void Hit::mergeFrom(std::list<Hit>& a, bool inA, std::list<Hit>& b, bool inB) {
    std::list<Hit>::iterator ca = a.begin();
    std::list<Hit>::iterator cb = b.begin();
    while (ca != a.end() && cb != b.end()) {
        if (cb->t > ca->t) {
            if (inB)
                ++ca;
            else
                ca = a.erase(ca);
            inA = !inA;
        } else {
            // Equal t takes b's hit first.
            const std::list<Hit>::iterator next = std::next(cb);
            if (inA) a.splice(ca, b, cb);
            cb = next;
            inB = !inB;
        }
    }
    if (ca != a.end() && inB) return;
    if (cb != b.end() && inA) {
        a.splice(ca, b, cb, b.end());
        return;
    }
    a.erase(ca, a.end());
    b.erase(cb, b.end());
}

}  // namespace ovo
