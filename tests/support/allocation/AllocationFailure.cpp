#include "tests/support/allocation/AllocationFailure.h"

#include "net/Exception.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {

thread_local int allocationsBeforeFailure = -1;

void* allocate(std::size_t size) noexcept {
    if (allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateOrThrow(std::size_t size) {
    void* memory = allocate(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

} // namespace

void* operator new(std::size_t size) {
    return allocateOrThrow(size);
}

void* operator new[](std::size_t size) {
    return allocateOrThrow(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

namespace kestrum::test {

void failAllocationAfter(int succeeding) {
    allocationsBeforeFailure = succeeding;
}

int expectAllocationFailuresAsExceptions(const std::function<void()>& operation) {
    constexpr int attempts = 2000;
    for (int n = 0; n < attempts; ++n) {
        failAllocationAfter(n);
        try {
            operation();
            failAllocationAfter(-1);
            return n;
        } catch (const Exception&) {
            failAllocationAfter(-1);
        } catch (const std::bad_alloc&) {
            failAllocationAfter(-1);
            ADD_FAILURE() << "allocation " << n << " failed as std::bad_alloc";
        }
    }
    failAllocationAfter(-1);
    ADD_FAILURE() << "the operation never ran through";
    return attempts;
}

} // namespace kestrum::test
