// Reads arbitrary bytes as the body of a SOAP control response, and takes a counter from it
// as a poller does.

#include "soap/SoapClient.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrum;
    const String document(reinterpret_cast<const char*>(data), static_cast<int>(size));
    String responseName;
    StringMap outArguments;
    try {
        SoapClient::readResponse(document, responseName, outArguments);
    } catch (const SoapClient::ParsingException&) {
        // A refused or malformed response yields no out-arguments.
        if (outArguments.count() != 0) {
            std::abort();
        }
        return 0;
    }
    static_cast<void>(toInt(outArguments.entry("NewTotalBytesReceived").value));
    return 0;
}
