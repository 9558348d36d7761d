# What every end-to-end script starts with: fail(), the sandbox's network and desktop helpers
# (which make the script's namespaces and remove them at exit) and the check that the network
# tools are there. Sourced, after the script has read its arguments.
# shellcheck shell=bash

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# shellcheck source=../../tools/sandbox/network.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/sandbox/network.sh"
# shellcheck source=../../tools/sandbox/desktop.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/sandbox/desktop.sh"
require_network_tools
