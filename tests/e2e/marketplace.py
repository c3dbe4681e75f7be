#!/usr/bin/env python3
"""A local copy of the marketplace for the end-to-end runs of orvalin.exe.

One HTTPS server answers for both hosts the program talks to; the run's
network namespace makes both names resolve to 127.0.0.1:

    https://detail.1688.com/offer/<ID>.html   the file offer_<ID>.html of the
                                              first --pages folder that has it
    https://cbu01.alicdn.com/<path>.jpg       a made-up picture (see picture())
    https://cbu01.alicdn.com/cut-off/<...>    the same, cut off half way: the
                                              whole length is announced, half
                                              of the body sent, then the
                                              connection closes
    https://cbu01.alicdn.com/small/<...>      a small picture of about 1 KB
    https://cbu01.alicdn.com/slow/<...>       the picture, trickled out over
                                              SLOW_SECONDS
    https://detail.1688.com/offer/stalled.html
                                              no answer at all: the request is
                                              read, then nothing is sent for
                                              STALL_SECONDS
    https://detail.1688.com/offer/made-<n>-<kind>-<tag>.html
                                              a made-up page of n pictures,
                                              https://cbu01.alicdn.com/<kind>/
                                              <tag>/<i>.jpg for i = 1..n, and
                                              padding to PAGE_PADDING bytes

Anything else gets a 404 page.

    marketplace.py serve --pages DIR [--pages DIR ...] --cert F --key F
                         [--port 443] [--ready-file F]
        serves on 127.0.0.1 until stopped; writes F once it listens
    marketplace.py pictures <folder> <address> [<address> ...]
        writes the pictures served at the addresses into <folder> as 1.jpg,
        2.jpg, ...: what a job that fetches them whole saves
"""
import argparse
import hashlib
import http.server
import os
import random
import re
import socket
import ssl
import struct
import sys
import time
from urllib.parse import urlsplit

PAGE_HOST = "detail.1688.com"
PICTURE_HOST = "cbu01.alicdn.com"
CUT_OFF_PREFIX = "/cut-off/"
OFFER_PATH = re.compile(r"^/offer/([0-9A-Za-z_-]+)\.html$")
MADE_UP_OFFER = re.compile(r"^made-([0-9]+)-(plain|small|slow)-([0-9A-Za-z_]+)$")
SMALL_PREFIX = "/small/"
SLOW_PREFIX = "/slow/"
SLOW_SECONDS = 30
PAGE_PADDING = 1_000_000
STALLED_OFFER = "/offer/stalled.html"
STALL_SECONDS = 120


def made_up_page(product_id):
    """The page of a made-up product ID (MADE_UP_OFFER), else None."""
    match = MADE_UP_OFFER.match(product_id)
    if not match:
        return None
    count, kind, tag = int(match.group(1)), match.group(2), match.group(3)
    images = ",".join('{"imageUrl":"%s"}' % made_up_picture_address(kind, tag, i)
                      for i in range(1, count + 1))
    page = '<html><body><script>window.offer = {"images":[%s]};</script>' % images
    return (page + "<!--" + "x" * max(0, PAGE_PADDING - len(page)) + "--></body></html>").encode()


def made_up_picture_address(kind, tag, number):
    return "https://%s/%s/%s/%d.jpg" % (PICTURE_HOST, kind, tag, number)


class BitWriter:
    """Entropy-coded JPEG data: bits from the top, 0xFF bytes stuffed."""

    def __init__(self):
        self.out = bytearray()
        self.bits = 0
        self.count = 0

    def write(self, value, length):
        for shift in range(length - 1, -1, -1):
            self.bits = (self.bits << 1) | ((value >> shift) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.bits)
                if self.bits == 0xFF:
                    self.out.append(0)
                self.bits = self.count = 0

    def finish(self):
        while self.count:
            self.write(1, 1)
        return bytes(self.out)


def segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def solid_jpeg(colour, size=128):
    """A baseline JPEG of size x size pixels in one YCbCr colour.

    Every block carries only its DC value, so the tables stay tiny: a
    quantisation table of ones, a DC code of 4 bits per size category and an
    AC table whose only code ("0") ends the block.
    """
    blocks = (size // 8) ** 2
    dqt = segment(0xDB, bytes([0]) + bytes([1] * 64))
    sof = segment(0xC0, struct.pack(">BHHB", 8, size, size, 3) +
                  b"".join(bytes([c, 0x11, 0]) for c in (1, 2, 3)))
    dht = segment(0xC4, bytes([0x00]) + bytes([0, 0, 0, 12] + [0] * 12) + bytes(range(12)) +
                  bytes([0x10]) + bytes([1] + [0] * 15) + bytes([0]))
    sos = segment(0xDA, bytes([3, 1, 0, 2, 0, 3, 0, 0, 63, 0]))
    data = BitWriter()
    previous = [0, 0, 0]
    for _ in range(blocks):
        for c, value in enumerate(colour):
            dc = 8 * (value - 128)  # the DC of a flat block after the level shift
            diff, previous[c] = dc - previous[c], dc
            category = abs(diff).bit_length()
            data.write(category, 4)
            data.write(diff if diff >= 0 else diff + (1 << category) - 1, category)
            data.write(0, 1)  # end of block
    return b"\xFF\xD8" + dqt + sof + dht + sos + data.finish() + b"\xFF\xD9"


def picture(address):
    if urlsplit(address).path.startswith(SMALL_PREFIX):
        return small_picture(address)
    return large_picture(address)


def colour_of(seed):
    return (70 + seed[0] % 120, 90 + seed[1] % 76, 90 + seed[2] % 76)


def small_picture(address):
    """A one-colour JPEG of 64 x 64 pixels, its colour from the address."""
    return solid_jpeg(colour_of(hashlib.sha256(address.encode()).digest()), 64)


def large_picture(address):
    """The picture served at address: a small one-colour JPEG that any viewer
    opens, padded by comment segments of pseudo-random bytes to 180-220 KB.
    The same address always gives the same bytes; different addresses give
    different colours, sizes and padding."""
    seed = hashlib.sha256(address.encode("utf-8", "surrogateescape")).digest()
    rng = random.Random(seed)
    image = solid_jpeg(colour_of(seed))
    padding = rng.randbytes(180_000 + rng.randrange(40_000) - len(image))
    comments = b"".join(segment(0xFE, padding[at:at + 65533])
                        for at in range(0, len(padding), 65533))
    return image[:2] + comments + image[2:]


class MarketplaceHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        host = self.headers.get("Host", "").split(":")[0].lower()
        path = self.path.split("?")[0]
        if host == PAGE_HOST and path == STALLED_OFFER:
            time.sleep(STALL_SECONDS)
            self.close_connection = True
            return
        if host == PAGE_HOST and OFFER_PATH.match(path):
            page = self.server.page(OFFER_PATH.match(path).group(1))
            if page is not None:
                return self.send_body(page, "text/html; charset=utf-8")
        elif host == PICTURE_HOST and path.endswith(".jpg"):
            body = picture("https://%s%s" % (PICTURE_HOST, self.path))
            if path.startswith(CUT_OFF_PREFIX):
                return self.send_body(body, "image/jpeg", sent=len(body) // 2)
            if path.startswith(SLOW_PREFIX):
                return self.send_body(body, "image/jpeg", seconds=SLOW_SECONDS)
            return self.send_body(body, "image/jpeg")
        self.send_body(b"<html><body>404 Not Found</body></html>", "text/html", status=404)

    def send_body(self, body, content_type, status=200, sent=None, seconds=0):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        # A request that does not ask to keep the connection (an HTTP/1.0 one
        # without "Connection: keep-alive") has it closed after the answer:
        # say so, as real servers do, or the client would take the connection
        # for a lasting one and send its next request into the closing socket.
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        if seconds:
            return self.trickle(body, seconds)
        self.wfile.write(body if sent is None else body[:sent])
        if sent is not None:
            self.close_connection = True

    def trickle(self, body, seconds):
        """Sends body in 100 pieces spread over seconds; a client that goes
        away ends it."""
        piece = max(1, len(body) // 100)
        try:
            for at in range(0, len(body), piece):
                self.wfile.write(body[at:at + piece])
                self.wfile.flush()
                time.sleep(seconds / 100)
        except OSError:
            self.close_connection = True

    # One line per request: milliseconds since the server started, host,
    # request line, status.
    def log_message(self, format, *args):
        host = self.headers.get("Host", "-") if getattr(self, "headers", None) else "-"
        sys.stderr.write("%9.1f %s %s\n" % ((time.monotonic() - self.server.started) * 1000,
                                            host, format % args))


class MarketplaceServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    # Room for many jobs connecting at the same instant.
    request_queue_size = 128

    def __init__(self, port, pages, context):
        super().__init__(("127.0.0.1", port), MarketplaceHandler)
        self.pages = pages
        self.context = context
        self.started = time.monotonic()

    def page(self, product_id):
        made_up = made_up_page(product_id)
        if made_up is not None:
            return made_up
        for folder in self.pages:
            path = os.path.join(folder, "offer_%s.html" % product_id)
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    return f.read()
        return None

    # The TLS handshake happens on the connection's own thread, so a slow or
    # failing client never holds up the others. Small writes go out at once:
    # with Nagle's algorithm the end of a response can wait for the client's
    # delayed acknowledgement (40 ms on Linux).
    def finish_request(self, request, client_address):
        request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            request = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            sys.stderr.write("TLS handshake failed: %s\n" % e)
            return
        try:
            super().finish_request(request, client_address)
        finally:
            request.close()


def serve(args):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server = MarketplaceServer(args.port, [os.path.abspath(p) for p in args.pages], context)
    if args.ready_file:
        with open(args.ready_file, "w") as f:
            f.write("%d\n" % os.getpid())
    sys.stderr.write("marketplace serving on 127.0.0.1:%d\n" % args.port)
    sys.stderr.flush()
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    serving = commands.add_parser("serve")
    serving.add_argument("--pages", action="append", required=True)
    serving.add_argument("--cert", required=True)
    serving.add_argument("--key", required=True)
    serving.add_argument("--port", type=int, default=443)
    serving.add_argument("--ready-file")
    expecting = commands.add_parser("pictures")
    expecting.add_argument("folder")
    expecting.add_argument("addresses", nargs="+")
    args = parser.parse_args()
    if args.command == "pictures":
        os.makedirs(args.folder, exist_ok=True)
        for number, address in enumerate(args.addresses, 1):
            with open(os.path.join(args.folder, "%d.jpg" % number), "wb") as f:
                f.write(picture(address))
        return 0
    serve(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
