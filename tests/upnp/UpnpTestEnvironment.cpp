#include "tests/upnp/UpnpTestEnvironment.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kestrum::test {

namespace {

#ifdef _WIN32
// Under Wine the host's root directory is drive Z:.
const std::string hostRoot = "Z:";
#else
const std::string hostRoot;
#endif

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace

std::string testDocument(const char* name) {
    return readFile(hostRoot + UPNP_TEST_DATA "/" + name);
}

} // namespace kestrum::test
