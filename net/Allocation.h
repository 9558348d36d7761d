#pragma once

#include "net/Exception.h"

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace kestrum {

// Creates an object as the core's containers allocate: exhausted memory is a MemoryException,
// which the workers' handlers take, and never a std::bad_alloc, which they do not.
template <typename T, typename... Arguments>
std::unique_ptr<T> makeOwned(Arguments&&... arguments) {
    std::unique_ptr<T> object(new (std::nothrow) T(std::forward<Arguments>(arguments)...));
    if (!object) {
        throw MemoryException();
    }
    return object;
}

template <typename T> std::unique_ptr<T[]> makeOwnedArray(std::size_t count) {
    std::unique_ptr<T[]> array(new (std::nothrow) T[count]);
    if (!array) {
        throw MemoryException();
    }
    return array;
}

} // namespace kestrum
