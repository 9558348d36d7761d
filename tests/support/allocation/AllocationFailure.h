#pragma once

// Allocation failures on demand, for the test programs that link this library: it replaces the
// global allocation functions of the whole program, on top of malloc and free.

#include <functional>

namespace kestrum::test {

// The calling thread's allocations still to succeed before one fails: a throwing new then
// throws std::bad_alloc, a non-throwing one returns null. Negative: none fails. Other threads
// (test peers serving the operation) are never touched.
void failAllocationAfter(int succeeding);

// Fails the operation's first, second, ... allocation in turn until it runs through. Every
// failure must come out of it as one of the system's exceptions (MemoryException, or the
// failure it causes), which a worker's handlers take, never as std::bad_alloc. Returns how many
// allocations the operation made.
int expectAllocationFailuresAsExceptions(const std::function<void()>& operation);

} // namespace kestrum::test
