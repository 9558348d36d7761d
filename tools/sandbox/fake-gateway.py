#!/usr/bin/env python3
"""A scriptable Internet gateway for the end-to-end tests, in place of the real daemon where a
test needs a gateway that the daemon cannot play: slow answers, counters that glitch or are
refused, several WAN devices, chunked answers, TR-064 type names, odd SSDP behaviour.

Built from raw sockets and literal documents, never from Kestrum's own code. It runs inside the
gateway namespace of tools/sandbox/network.sh (start_fake_gateway); its counters are those of a
real interface there, so traffic sent through the namespaces is what it reports.

fake-gateway.py --address IP --port PORT --wan IF|still [--wan IF|still ...] [options]
  --wan IF          a WAN device whose counters are interface IF's rx_bytes/tx_bytes, as the
                    real daemon reports them (Ethernet-level), modulo 2^32
  --wan still       a WAN device whose two counters stand still at ordinary values
  --types upnp|dslforum   the description's type names (default upnp)
  --version N       version of the root and WAN device types (default 1)
  --name NAME       friendly name
  --delay MS        answer each SOAP call MS milliseconds after it arrived
  --glitch-every N  every Nth answer of each counter action of a WAN device reads 0
  --offset N        add N to every counter before the modulo (wrap tests)
  --refuse          answer the counter actions with HTTP 500 and a SOAP fault, UPnP error 401
  --chunked         every HTTP answer as HTTP/1.1 with Transfer-Encoding: chunked
  --ssdp MODE       answer  (default) answer M-SEARCH on port 1900, multicast and unicast
                    unicast answer only M-SEARCH sent to IP itself, ignore multicast
                    notify  never answer; multicast NOTIFY ssdp:alive, the first after
                            --notify-after seconds, then every 3 s, at most 100 times
                    none    no SSDP at all
  --notify-after S  seconds before the first NOTIFY (default 3)
  --st own          answer a search for an older version of a type with the type's own ST
  --also-answer upnp|dslforum
                    answer searches for the same types in that namespace too (a TR-064
                    gateway that a UPnP search finds as well)
  --log FILE        one line per HTTP request and per SSDP datagram taken or sent, each with
                    milliseconds of a monotonic clock

Once it listens it prints "listening on IP:PORT" on stdout. It ends on SIGTERM or SIGINT.
"""
import argparse
import os
import signal
import socket
import struct
import sys
import threading
import time

SSDP_GROUP = "239.255.255.250"
SSDP_PORT = 1900
DESCRIPTION_PATH = "/rootDesc.xml"
UUID = "7d6a2c1e-4b3f-4e8a-9c5d-2f1e0b9a8c7d"
STILL_COUNTERS = (1_234_567_890, 987_654_321)
MAX_HEAD = 16 * 1024
MAX_BODY = 64 * 1024
NOTIFY_PERIOD = 3
NOTIFY_ROUNDS = 100
# Odd sizes, so that chunk boundaries fall inside tags, numbers and the envelope's head.
CHUNK_SIZES = (1, 7, 26, 3, 64, 13, 200)

NAMESPACES = {
    "upnp": ("urn:schemas-upnp-org", "urn:upnp-org"),
    "dslforum": ("urn:dslforum-org", "urn:dslforum-org"),
}
COUNTER_ACTIONS = {
    "GetTotalBytesReceived": ("NewTotalBytesReceived", 0),
    "GetTotalBytesSent": ("NewTotalBytesSent", 1),
}


class Log:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1) if path else None
        self.lock = threading.Lock()

    def write(self, text):
        if self.file:
            with self.lock:
                self.file.write(f"{int(time.monotonic() * 1000)} {text}\n")


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class Gateway:
    def __init__(self, options):
        self.options = options
        self.ns, self.id_ns = NAMESPACES[options.types]
        self.version = options.version
        self.log = Log(options.log)
        self.lock = threading.Lock()
        self.answers = {}  # (wan, action) -> counter answers so far

    # Types -----------------------------------------------------------------------------------

    def device_type(self, name, version=None):
        return f"{self.ns}:device:{name}:{self.version if version is None else version}"

    def service_type(self, name, version=1):
        return f"{self.ns}:service:{name}:{version}"

    def own_types(self):
        return [self.device_type("InternetGatewayDevice"), self.device_type("WANDevice"),
                self.device_type("WANConnectionDevice"),
                self.service_type("WANCommonInterfaceConfig"),
                self.service_type("WANIPConnection")]

    def answered_types(self):
        """The own types, and with --also-answer the same types in that namespace."""
        types = self.own_types()
        if self.options.also_answer:
            other = NAMESPACES[self.options.also_answer][0]
            types += [own.replace(self.ns, other, 1) for own in types]
        return types

    def location(self):
        return f"http://{self.options.address}:{self.options.port}{DESCRIPTION_PATH}"

    # Description -----------------------------------------------------------------------------

    def description(self):
        wans = "".join(self.wan_device(index) for index in range(1, len(self.options.wan) + 1))
        return (
            '<?xml version="1.0"?>\r\n'
            '<root xmlns="urn:schemas-upnp-org:device-1-0">\r\n'
            "<specVersion><major>1</major><minor>0</minor></specVersion>\r\n"
            "<device>\r\n"
            f"<deviceType>{self.device_type('InternetGatewayDevice')}</deviceType>\r\n"
            f"<friendlyName>{xml_escape(self.options.name)}</friendlyName>\r\n"
            "<manufacturer>Kestrum test bench</manufacturer>\r\n"
            "<modelName>Fake Gateway</modelName>\r\n"
            "<modelNumber>1</modelNumber>\r\n"
            f"<UDN>uuid:{UUID}</UDN>\r\n"
            "<serviceList><service>"
            f"<serviceType>{self.service_type('Layer3Forwarding')}</serviceType>"
            f"<serviceId>{self.id_ns}:serviceId:L3Forwarding1</serviceId>"
            "<SCPDURL>/l3f.xml</SCPDURL><controlURL>/ctl/L3F</controlURL>"
            "<eventSubURL>/evt/L3F</eventSubURL></service></serviceList>\r\n"
            f"<deviceList>{wans}</deviceList>\r\n"
            f"<presentationURL>http://{self.options.address}/</presentationURL>\r\n"
            "</device>\r\n"
            "</root>\r\n")

    def wan_device(self, index):
        return (
            "<device>"
            f"<deviceType>{self.device_type('WANDevice')}</deviceType>"
            f"<friendlyName>WAN {index}</friendlyName>"
            f"<UDN>uuid:{UUID[:-2]}{index:02d}</UDN>"
            "<serviceList><service>"
            f"<serviceType>{self.service_type('WANCommonInterfaceConfig')}</serviceType>"
            f"<serviceId>{self.id_ns}:serviceId:WANCommonIFC{index}</serviceId>"
            f"<SCPDURL>/wancic.xml</SCPDURL><controlURL>/ctl/wan{index}/CmnIfCfg</controlURL>"
            f"<eventSubURL>/evt/wan{index}/CmnIfCfg</eventSubURL></service></serviceList>"
            "<deviceList><device>"
            f"<deviceType>{self.device_type('WANConnectionDevice')}</deviceType>"
            f"<friendlyName>WAN {index} connection</friendlyName>"
            f"<UDN>uuid:{UUID[:-2]}{index + 50:02d}</UDN>"
            "<serviceList><service>"
            f"<serviceType>{self.service_type('WANIPConnection', self.version)}</serviceType>"
            f"<serviceId>{self.id_ns}:serviceId:WANIPConn{index}</serviceId>"
            f"<SCPDURL>/wanipc.xml</SCPDURL><controlURL>/ctl/wan{index}/IPConn</controlURL>"
            f"<eventSubURL>/evt/wan{index}/IPConn</eventSubURL></service></serviceList>"
            "</device></deviceList>"
            "</device>")

    # Counters --------------------------------------------------------------------------------

    def counter(self, wan, which):
        source = self.options.wan[wan - 1]
        if source == "still":
            raw = STILL_COUNTERS[which]
        else:
            name = "rx_bytes" if which == 0 else "tx_bytes"
            with open(f"/sys/class/net/{source}/statistics/{name}") as statistics:
                raw = int(statistics.read())
        return (raw + self.options.offset) % 2**32

    def counter_answer(self, wan, action):
        argument, which = COUNTER_ACTIONS[action]
        with self.lock:
            count = self.answers.get((wan, action), 0) + 1
            self.answers[(wan, action)] = count
        glitch = self.options.glitch_every and count % self.options.glitch_every == 0
        value = 0 if glitch else self.counter(wan, which)
        service = self.service_type("WANCommonInterfaceConfig")
        return "200 OK", envelope(
            f'<u:{action}Response xmlns:u="{service}">'
            f"<{argument}>{value}</{argument}></u:{action}Response>")

    # HTTP ------------------------------------------------------------------------------------

    def serve_http(self, listener):
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=self.serve_connection, args=(connection,),
                             daemon=True).start()

    def serve_connection(self, connection):
        arrived = time.monotonic()
        with connection:
            connection.settimeout(10)
            try:
                request = read_request(connection)
            except (OSError, ValueError):
                return
            if request is None:
                return
            method, path, headers, _ = request
            action = headers.get("soapaction", "").strip('"').rpartition("#")[2]
            self.log.write(f"http {method} {path} {action}".rstrip())
            # A busy router reads its counters when it gets round to the answer.
            if method == "POST" and self.options.delay:
                time.sleep(max(0.0, arrived + self.options.delay / 1000 - time.monotonic()))
            status, body = self.answer(method, path, action)
            try:
                connection.sendall(self.response(status, body))
                connection.shutdown(socket.SHUT_WR)
            except OSError:
                pass

    def answer(self, method, path, action):
        if method == "GET" and path == DESCRIPTION_PATH:
            return "200 OK", self.description()
        if method != "POST" or not path.startswith("/ctl/wan"):
            return "404 Not Found", "<html><body>Not Found</body></html>"
        wan_text, _, service = path[len("/ctl/wan"):].partition("/")
        if not wan_text.isdigit() or not 1 <= int(wan_text) <= len(self.options.wan):
            return "404 Not Found", "<html><body>Not Found</body></html>"
        if service == "CmnIfCfg" and action in COUNTER_ACTIONS:
            if self.options.refuse:
                return "500 Internal Server Error", fault("401", "Invalid Action")
            return self.counter_answer(int(wan_text), action)
        return "500 Internal Server Error", fault("401", "Invalid Action")

    def response(self, status, body):
        data = body.encode()
        if not self.options.chunked:
            return (f"HTTP/1.1 {status}\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n"
                    f"Content-Length: {len(data)}\r\nConnection: close\r\n"
                    "Server: Linux UPnP/1.0 KestrumFake/1.0\r\n\r\n").encode() + data
        return (f"HTTP/1.1 {status}\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n"
                "Transfer-Encoding: chunked\r\nConnection: close\r\n"
                "Server: Linux UPnP/1.0 KestrumFake/1.0\r\n\r\n").encode() + chunked(data)

    # SSDP ------------------------------------------------------------------------------------

    def matching_st(self, search_target):
        """The ST to answer a search with, or None."""
        if search_target == "ssdp:all":
            return self.device_type("InternetGatewayDevice")
        if search_target in ("upnp:rootdevice", f"uuid:{UUID}"):
            return None if self.options.types == "dslforum" else search_target
        for own in self.answered_types():
            family, _, own_version = own.rpartition(":")
            prefix, _, version = search_target.rpartition(":")
            if prefix == family and version.isdigit() and 1 <= int(version) <= int(own_version):
                return own if self.options.st_own else search_target
        return None

    def ssdp_answer(self, st):
        usn = f"uuid:{UUID}" if st.startswith("uuid:") else f"uuid:{UUID}::{st}"
        return ("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\n"
                f"ST: {st}\r\nUSN: {usn}\r\nEXT:\r\n"
                "SERVER: Linux/6 UPnP/1.1 KestrumFake/1.0\r\n"
                f"LOCATION: {self.location()}\r\n\r\n").encode()

    def serve_ssdp(self, sock):
        while True:
            data, sender = sock.recvfrom(65535)
            text = data.decode("latin-1")
            if not text.startswith("M-SEARCH "):
                continue
            headers = parse_headers(text.split("\r\n")[1:])
            st = self.matching_st(headers.get("st", ""))
            self.log.write(f"ssdp-in M-SEARCH ST={headers.get('st', '')} from "
                           f"{sender[0]}:{sender[1]} answered={'yes' if st else 'no'}")
            if st:
                sock.sendto(self.ssdp_answer(st), sender)
                self.log.write(f"ssdp-out answer ST={st} to {sender[0]}:{sender[1]}")

    def notify(self):
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 4)
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF,
                        socket.inet_aton(self.options.address))
        time.sleep(self.options.notify_after)
        types = self.own_types()
        if self.options.types == "upnp":
            types = ["upnp:rootdevice"] + types
        for _ in range(NOTIFY_ROUNDS):
            for nt in types:
                usn = f"uuid:{UUID}::{nt}"
                message = ("NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
                           "CACHE-CONTROL: max-age=120\r\n"
                           f"LOCATION: {self.location()}\r\nNT: {nt}\r\nNTS: ssdp:alive\r\n"
                           f"SERVER: Linux/6 UPnP/1.1 KestrumFake/1.0\r\nUSN: {usn}\r\n\r\n")
                sock.sendto(message.encode(), (SSDP_GROUP, SSDP_PORT))
            self.log.write(f"ssdp-out NOTIFY x{len(types)}")
            time.sleep(NOTIFY_PERIOD)

    def start_ssdp(self):
        mode = self.options.ssdp
        if mode == "none":
            return
        if mode == "notify":
            threading.Thread(target=self.notify, daemon=True).start()
            return
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if mode == "unicast":
            # Bound to the unicast address and in no group: multicast searches never arrive.
            sock.bind((self.options.address, SSDP_PORT))
        else:
            sock.bind(("", SSDP_PORT))
            membership = struct.pack("4s4s", socket.inet_aton(SSDP_GROUP),
                                     socket.inet_aton(self.options.address))
            sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
        threading.Thread(target=self.serve_ssdp, args=(sock,), daemon=True).start()


def envelope(content):
    return ('<?xml version="1.0"?>\r\n'
            '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/">'
            f"<s:Body>{content}</s:Body></s:Envelope>\r\n")


def fault(code, description):
    return envelope(
        "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>"
        '<detail><UPnPError xmlns="urn:schemas-upnp-org:control-1-0">'
        f"<errorCode>{code}</errorCode><errorDescription>{description}</errorDescription>"
        "</UPnPError></detail></s:Fault>")


def chunked(data):
    """The body in chunks of odd sizes, hex in both letter cases, some with extensions, and a
    trailer after the last chunk."""
    out = []
    position = 0
    index = 0
    while position < len(data):
        size = min(CHUNK_SIZES[index % len(CHUNK_SIZES)], len(data) - position)
        size_text = f"{size:x}" if index % 2 else f"{size:X}"
        extension = ';name="value"' if index % 3 == 1 else ""
        out.append(f"{size_text}{extension}\r\n".encode() + data[position:position + size] + b"\r\n")
        position += size
        index += 1
    out.append(b"0\r\nX-Trailer: end\r\n\r\n")
    return b"".join(out)


def parse_headers(lines):
    headers = {}
    for line in lines:
        name, colon, value = line.partition(":")
        if colon:
            headers[name.strip().lower()] = value.strip()
    return headers


def read_request(connection):
    """(method, path, headers, body) of one request, bounded in size; None if the peer closed."""
    data = b""
    while b"\r\n\r\n" not in data:
        if len(data) > MAX_HEAD:
            raise ValueError("head too long")
        piece = connection.recv(4096)
        if not piece:
            return None
        data += piece
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    parts = lines[0].split(" ")
    if len(parts) < 2:
        raise ValueError("no request line")
    headers = parse_headers(lines[1:])
    length = min(int(headers.get("content-length", "0") or "0"), MAX_BODY)
    while len(body) < length:
        piece = connection.recv(4096)
        if not piece:
            break
        body += piece
    return parts[0], parts[1], headers, body


def arguments(argv):
    parser = argparse.ArgumentParser(description="A scriptable Internet gateway for tests.")
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--wan", action="append", required=True)
    parser.add_argument("--types", choices=sorted(NAMESPACES), default="upnp")
    parser.add_argument("--version", type=int, default=1)
    parser.add_argument("--name", default="Kestrum Fake Gateway")
    parser.add_argument("--delay", type=int, default=0)
    parser.add_argument("--glitch-every", type=int, default=0)
    parser.add_argument("--offset", type=int, default=0)
    parser.add_argument("--refuse", action="store_true")
    parser.add_argument("--chunked", action="store_true")
    parser.add_argument("--ssdp", choices=("answer", "unicast", "notify", "none"), default="answer")
    parser.add_argument("--notify-after", type=float, default=3)
    parser.add_argument("--st", choices=("own",), default=None)
    parser.add_argument("--also-answer", choices=sorted(NAMESPACES), default=None)
    parser.add_argument("--log")
    options = parser.parse_args(argv)
    options.st_own = options.st == "own"
    for source in options.wan:
        if source != "still" and not os.path.exists(f"/sys/class/net/{source}/statistics"):
            parser.error(f"no interface {source}")
    return options


def main(argv):
    options = arguments(argv)
    gateway = Gateway(options)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((options.address, options.port))
    listener.listen(16)
    gateway.start_ssdp()
    threading.Thread(target=gateway.serve_http, args=(listener,), daemon=True).start()
    print(f"listening on {options.address}:{options.port}", flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main(sys.argv[1:])
