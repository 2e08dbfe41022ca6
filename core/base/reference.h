// Intrusive, atomically counted sharing for scene objects (shapes, primitives, shaders,
// lights, attribute records). The object is deleted when its last Reference lets go.
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

namespace ovo {

class ReferenceCounted {
  public:
    ReferenceCounted() : refCount(0) {}
    // A copy is a new object: it starts unreferenced.
    ReferenceCounted(const ReferenceCounted&) : refCount(0) {}
    ReferenceCounted& operator=(const ReferenceCounted&) { return *this; }
    virtual ~ReferenceCounted() {}

    void incRef() const { refCount.fetch_add(1, std::memory_order_relaxed); }
    // True when this was the last reference.
    bool decRef() const { return refCount.fetch_sub(1, std::memory_order_acq_rel) == 1; }
    int references() const { return refCount.load(std::memory_order_relaxed); }

  private:
    mutable std::atomic<int> refCount;
};

template <class T>
class Reference {
  public:
    Reference() : ptr(nullptr) {}
    Reference(T* p) : ptr(p) {
        if (ptr) ptr->incRef();
    }
    Reference(const Reference& r) : ptr(r.ptr) {
        if (ptr) ptr->incRef();
    }
    Reference(Reference&& r) noexcept : ptr(r.ptr) { r.ptr = nullptr; }
    template <class U>
    Reference(const Reference<U>& r) : ptr(r.get()) {
        if (ptr) ptr->incRef();
    }
    ~Reference() { release(); }

    Reference& operator=(const Reference& r) {
        if (r.ptr) r.ptr->incRef();
        release();
        ptr = r.ptr;
        return *this;
    }
    Reference& operator=(Reference&& r) noexcept {
        if (this != &r) {
            release();
            ptr = r.ptr;
            r.ptr = nullptr;
        }
        return *this;
    }
    Reference& operator=(T* p) {
        if (p) p->incRef();
        release();
        ptr = p;
        return *this;
    }

    void reset() {
        release();
        ptr = nullptr;
    }
    T* get() const { return ptr; }
    T* operator->() const { return ptr; }
    T& operator*() const { return *ptr; }
    explicit operator bool() const { return ptr != nullptr; }
    bool operator==(const Reference& r) const { return ptr == r.ptr; }
    bool operator!=(const Reference& r) const { return ptr != r.ptr; }
    bool operator==(const T* p) const { return ptr == p; }
    bool operator!=(const T* p) const { return ptr != p; }

  private:
    void release() {
        if (ptr && ptr->decRef()) delete ptr;
    }

    T* ptr;
};

}  // namespace ovo
