#pragma once

#include "net/Exception.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace kestrum {

// The room that ensureCapacity of a container makes for `needed` elements: at least double the
// present room, so that appends made after one call each cost a bounded number of copies.
inline int grownCapacity(int capacity, int needed) {
    return capacity > INT_MAX / 2 || needed > 2 * capacity ? needed : 2 * capacity;
}

// The growable array behind every list of the system: raw storage in which only the live
// elements are constructed. Appending to a full array reallocates to exactly count + 1 + growth
// step elements; ensureCapacity is the one way to make room ahead. A failed allocation throws
// MemoryException and leaves the array as it was.
template <typename T> class GrowableArray {
public:
    GrowableArray() = default;
    GrowableArray(int initialCapacity, int growthStep) : growthStep_(growthStep) {
        setCapacity(initialCapacity);
    }
    // Delegating first makes this a complete object, so storage is freed if an element's copy
    // throws part way.
    GrowableArray(const GrowableArray& other) : GrowableArray(0, other.growthStep_) {
        setCapacity(other.count_);
        for (const T& item : other) {
            new (items_ + count_) T(item);
            ++count_;
        }
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
    ~GrowableArray() { clear(); }

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
        T* stored = new (items_ + count_) T(std::move(value));
        ++count_;
        return *stored;
    }

    // Room for at least n elements, growing as grownCapacity says.
    void ensureCapacity(int n) {
        if (n > capacity_) {
            setCapacity(grownCapacity(capacity_, n));
        }
    }

    // Exact reallocation: keeps min(count, n) elements; 0 frees everything.
    void setCapacity(int n) {
        // Moving the elements to new storage must not fail half way.
        static_assert(std::is_nothrow_move_constructible_v<T>);
        static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
        if (n <= 0) {
            clear();
            return;
        }
        if (static_cast<std::size_t>(n) > SIZE_MAX / sizeof(T)) {
            throw MemoryException();
        }
        T* fresh = static_cast<T*>(
            ::operator new[](sizeof(T) * static_cast<std::size_t>(n), std::nothrow));
        if (fresh == nullptr) {
            throw MemoryException();
        }
        const int kept = count_ < n ? count_ : n;
        for (int i = 0; i < kept; ++i) {
            new (fresh + i) T(std::move(items_[i]));
        }
        destroyAll();
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
        items_[--count_].~T();
    }

    // Frees the storage; the growth step stays.
    void clear() {
        destroyAll();
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
    // Ends every live element and frees the storage; the fields are the caller's to reset.
    void destroyAll() noexcept {
        for (int i = 0; i < count_; ++i) {
            items_[i].~T();
        }
        ::operator delete[](items_);
    }

    T* items_ = nullptr;
    int capacity_ = 0;
    int count_ = 0;
    int growthStep_ = 0;
};

// A list of pointers to objects that its owner deletes explicitly before clearing the list.
template <typename T> using PointerList = GrowableArray<T*>;

} // namespace kestrum
