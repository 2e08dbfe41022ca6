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

// A pointer to an object some Reference keeps alive for longer, with the look of a Reference
// and none of its counting. Hit records and shading environments, filled on every ray by all
// render threads, borrow from the scene's primitives: counting there would make the threads
// fight over the shared counters' cache lines.
template <class T>
class Borrowed {
  public:
    Borrowed() : ptr(nullptr) {}
    Borrowed(T* p) : ptr(p) {}
    Borrowed(const Reference<T>& r) : ptr(r.get()) {}
    Borrowed& operator=(T* p) {
        ptr = p;
        return *this;
    }
    Borrowed& operator=(const Reference<T>& r) {
        ptr = r.get();
        return *this;
    }
    // A temporary Reference would free the object the moment the borrow is made.
    Borrowed(Reference<T>&&) = delete;
    Borrowed& operator=(Reference<T>&&) = delete;
    void reset() { ptr = nullptr; }
    T* get() const { return ptr; }
    T* operator->() const { return ptr; }
    T& operator*() const { return *ptr; }
    explicit operator bool() const { return ptr != nullptr; }
    bool operator==(const Borrowed& b) const { return ptr == b.ptr; }
    bool operator!=(const Borrowed& b) const { return ptr != b.ptr; }
    bool operator==(const T* p) const { return ptr == p; }
    bool operator!=(const T* p) const { return ptr != p; }

  private:
    T* ptr;
};

}  // namespace ovo
