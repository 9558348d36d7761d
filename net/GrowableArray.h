#pragma once

#include "net/Exception.h"

#include <new>
#include <utility>

namespace kestrum {

// The growable array behind every list of the system. Appending to a full array reallocates to
// exactly count + 1 + growth step elements; a failed allocation throws MemoryException and leaves
// the array as it was.
template <typename T> class GrowableArray {
public:
    GrowableArray() = default;
    GrowableArray(int initialCapacity, int growthStep) : growthStep_(growthStep) {
        setCapacity(initialCapacity);
    }
    // Delegating first makes this a complete object, so storage is freed if an element's copy
    // throws part way.
    GrowableArray(const GrowableArray& other) : GrowableArray(0, other.growthStep_) {
        copyFrom(other);
    }
    GrowableArray(GrowableArray&& other) noexcept
        : items_(std::exchange(other.items_, nullptr)),
          capacity_(std::exchange(other.capacity_, 0)), count_(std::exchange(other.count_, 0)),
          growthStep_(other.growthStep_) {}
    GrowableArray& operator=(const GrowableArray& other) {
        if (this != &other) {
            GrowableArray copy(other);
            swap(copy);
        }
        return *this;
    }
    GrowableArray& operator=(GrowableArray&& other) noexcept {
        if (this != &other) {
            GrowableArray moved(std::move(other));
            swap(moved);
        }
        return *this;
    }
    ~GrowableArray() { delete[] items_; }

    int count() const { return count_; }
    int capacity() const { return capacity_; }
    int growthStep() const { return growthStep_; }

    T& operator[](int index) { return items_[index]; }
    const T& operator[](int index) const { return items_[index]; }
    T* begin() { return items_; }
    T* end() { return items_ + count_; }
    const T* begin() const { return items_; }
    const T* end() const { return items_ + count_; }

    // Returns the stored element; references stay valid until the next growth.
    T& append(T value) {
        if (capacity_ < count_ + 1) {
            setCapacity(count_ + 1 + growthStep_);
        }
        items_[count_] = std::move(value);
        return items_[count_++];
    }

    // Exact reallocation: keeps min(count, n) elements; 0 frees everything.
    void setCapacity(int n) {
        if (n <= 0) {
            clear();
            return;
        }
        T* fresh = new (std::nothrow) T[static_cast<unsigned>(n)];
        if (fresh == nullptr) {
            throw MemoryException();
        }
        const int kept = count_ < n ? count_ : n;
        for (int i = 0; i < kept; ++i) {
            fresh[i] = std::move(items_[i]);
        }
        delete[] items_;
        items_ = fresh;
        capacity_ = n;
        count_ = kept;
    }

    // Removes one element and moves the later ones down one place; an index outside the array
    // changes nothing.
    void removeAt(int index) {
        if (index < 0 || index >= count_) {
            return;
        }
        for (int i = index; i + 1 < count_; ++i) {
            items_[i] = std::move(items_[i + 1]);
        }
        items_[--count_] = T();
    }

    // Frees the storage; the growth step stays.
    void clear() {
        delete[] items_;
        items_ = nullptr;
        capacity_ = 0;
        count_ = 0;
    }

    void swap(GrowableArray& other) noexcept {
        std::swap(items_, other.items_);
        std::swap(capacity_, other.capacity_);
        std::swap(count_, other.count_);
        std::swap(growthStep_, other.growthStep_);
    }

private:
    void copyFrom(const GrowableArray& other) {
        if (other.count_ == 0) {
            return;
        }
        setCapacity(other.count_);
        for (int i = 0; i < other.count_; ++i) {
            items_[i] = other.items_[i];
        }
        count_ = other.count_;
    }

    T* items_ = nullptr;
    int capacity_ = 0;
    int count_ = 0;
    int growthStep_ = 0;
};

// A list of pointers to objects that its owner deletes explicitly before clearing the list.
template <typename T> using PointerList = GrowableArray<T*>;

} // namespace kestrum
