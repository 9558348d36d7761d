#pragma once

namespace kestrum::test {

// The one guard of every test that multicasts, which must never reach a real network.

// True only inside a network namespace whose only interface is loopback, made by the namespace
// runner (tests/support/ssdp-namespace.sh sets its marker) or by enterPrivateNetwork.
bool insideOwnNetworkNamespace();

// Natively and as root, moves the calling process (from the calling thread on) into a network
// namespace of its own with only loopback, multicast routed on it, unless it is inside one
// already. True when the guard above then holds; false otherwise (not root, or a Windows build
// not started by the namespace runner): the caller skips its test.
bool enterPrivateNetwork();

// Whether a test that cannot have its namespace fails rather than skips: set
// KESTRUM_REQUIRE_NAMESPACES=1 where a skip would hide the tests that matter most (CI).
bool namespacesRequired();

} // namespace kestrum::test
