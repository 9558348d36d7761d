#pragma once

namespace kestrum {

// Owned bytes, not NUL-terminated. Writing past the capacity reallocates to exactly
// offset + n + growth step bytes; a failed allocation throws MemoryException.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer& other);
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer();

    // Exact reallocation keeping min(length, n) bytes; 0 frees everything.
    void setCapacity(int n);
    // Room for at least n bytes, growing as grownCapacity says.
    void ensureCapacity(int n);
    // Null bytes, n of 0 or less and a negative offset do nothing. The bytes may come from this
    // buffer itself; a gap between the old length and offset reads as zeros. An end beyond the
    // int range throws MemoryException.
    void write(int offset, const void* bytes, int n);
    void append(const void* bytes, int n) { write(length_, bytes, n); }
    // Clips or keeps the length; never grows it past the capacity, and bytes it brings into
    // view read as zeros.
    void setLength(int n);
    void setGrowthStep(int step) { growthStep_ = step; }

    const char* data() const { return data_; }
    int length() const { return length_; }
    int capacity() const { return capacity_; }
    int growthStep() const { return growthStep_; }

private:
    char* data_ = nullptr;
    int capacity_ = 0;
    int length_ = 0;
    int growthStep_ = 0;
};

} // namespace kestrum
