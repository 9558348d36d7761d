#pragma once

namespace kestrum {

// Tests that multicast must never reach a real network. This puts the calling process (from the
// calling thread on) into a network namespace of its own with only loopback, multicast routed
// on it. False when that cannot be done (not root, or a Windows build not started by the
// namespace runner): the caller then skips its test.
bool enterPrivateNetwork();

} // namespace kestrum
