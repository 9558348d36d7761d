#include "tests/hostile/HostileMonitor.h"

#include "tests/support/RawSocket.h"

#include <vector>

namespace kestrum::test {

std::string description(const std::string& name, const std::string& controlUrl,
                        const std::string& inner) {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion><device><deviceType>" +
           std::string(igd1) + "</deviceType><friendlyName>" + name + "</friendlyName>" + inner +
           "<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1"
           "</deviceType><serviceList><service><serviceType>"
           "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
           "<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>"
           "<controlURL>" +
           controlUrl +
           "</controlURL></service></serviceList></device></deviceList></device>"
           "</root>\r\n";
}

std::string counterReply(const std::string& received, const std::string& sent) {
    return "<?xml version=\"1.0\"?><s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
           "<u:Response xmlns:u=\"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1\">"
           "<NewTotalBytesReceived>" +
           received + "</NewTotalBytesReceived><NewTotalBytesSent>" + sent +
           "</NewTotalBytesSent></u:Response></s:Body></s:Envelope>";
}

int refusedPort() {
    // Held bound for the whole run, so that no later peer can be given the port.
    static std::vector<RawSocket> held;
    held.push_back(RawSocket::bindTcp());
    return held.back().localPort();
}

} // namespace kestrum::test
