#include "net/ByteBuffer.h"

#include "net/Allocation.h"
#include "net/Exception.h"
#include "net/GrowableArray.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace kestrum {

namespace {

void copyBytes(char* to, const void* from, int n) {
    if (n > 0) {
        std::memmove(to, from, static_cast<std::size_t>(n));
    }
}

} // namespace

ByteBuffer::ByteBuffer(const ByteBuffer& other)
    : capacity_(other.capacity_), length_(other.length_), growthStep_(other.growthStep_) {
    if (other.capacity_ > 0) {
        data_ = makeOwnedArray<char>(static_cast<std::size_t>(other.capacity_)).release();
        copyBytes(data_, other.data_, other.length_);
    }
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)),
      length_(std::exchange(other.length_, 0)), growthStep_(other.growthStep_) {}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this != &other) {
        ByteBuffer copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        delete[] data_;
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        length_ = std::exchange(other.length_, 0);
        growthStep_ = other.growthStep_;
    }
    return *this;
}

ByteBuffer::~ByteBuffer() {
    delete[] data_;
}

void ByteBuffer::setCapacity(int n) {
    if (n <= 0) {
        delete[] data_;
        data_ = nullptr;
        capacity_ = 0;
        length_ = 0;
        return;
    }
    char* fresh = makeOwnedArray<char>(static_cast<std::size_t>(n)).release();
    const int kept = length_ < n ? length_ : n;
    copyBytes(fresh, data_, kept);
    delete[] data_;
    data_ = fresh;
    capacity_ = n;
    length_ = kept;
}

void ByteBuffer::ensureCapacity(int n) {
    if (n > capacity_) {
        setCapacity(grownCapacity(capacity_, n));
    }
}

void ByteBuffer::write(int offset, const void* bytes, int n) {
    if (bytes == nullptr || n <= 0 || offset < 0) {
        return;
    }
    if (n > INT_MAX - offset) {
        throw MemoryException();
    }
    const int end = offset + n;
    if (end > capacity_) {
        if (growthStep_ > INT_MAX - end) {
            throw MemoryException();
        }
        // The new bytes are copied before the old storage goes, since they may come from it.
        const int grown = end + growthStep_;
        char* fresh = makeOwnedArray<char>(static_cast<std::size_t>(grown)).release();
        copyBytes(fresh, data_, length_ < offset ? length_ : offset);
        copyBytes(fresh + offset, bytes, n);
        delete[] data_;
        data_ = fresh;
        capacity_ = grown;
    } else {
        copyBytes(data_ + offset, bytes, n);
    }
    // A gap between the old length and the offset reads as zeros, never as stale bytes.
    if (offset > length_) {
        std::memset(data_ + length_, 0, static_cast<std::size_t>(offset - length_));
    }
    if (end > length_) {
        length_ = end;
    }
}

void ByteBuffer::setLength(int n) {
    const int clipped = n < 0 ? 0 : (n > capacity_ ? capacity_ : n);
    if (clipped > length_) {
        std::memset(data_ + length_, 0, static_cast<std::size_t>(clipped - length_));
    }
    length_ = clipped;
}

} // namespace kestrum
