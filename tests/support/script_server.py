#!/usr/bin/env python3
"""Loopback HTTP(S) servers that answer from a script, for the Windows tests.

One process serves a whole test run. Test programs (running under Wine) ask it
over a control port for listeners on 127.0.0.1; each listener answers the n-th
request it receives with the n-th scripted reply (the last one repeats) and
records the exact bytes of every request. The C++ side is script_server.cpp.

    script_server.py start --port-file F --pid-file P --log L --certs D
        starts the server in the background, waits until it listens, writes
        its control port to F and its id to P, and returns
    script_server.py stop --pid-file P
        stops the server that `start` left in P
    script_server.py serve [--port-file F] [--certs D]
        runs the server in the foreground (for debugging)

Control protocol: text lines ending in "\\n", binary payloads sent as a length
line followed by exactly that many bytes. A control connection may carry any
number of commands; each gets one answer, or "ERR <message>\\n".

    LISTEN <tls> <count>\\n                 tls: none localhost other-name expired unknown-ca
      then <count> times:
      <misbehaviour> <after> <length>\\n<length bytes>
                                           misbehaviour: none close reset stall
                                      ->   PORT <port>\\n
    REQUESTS <port>\\n                ->   <count>\\n then per request <length>\\n<bytes>
    COUNT <port>\\n                   ->   <count>\\n
    CLOSE <port>\\n                   ->   OK\\n    (the port refuses connections afterwards)
    UNUSED\\n                         ->   PORT <port>\\n  a loopback port that refuses connections
    PING\\n                           ->   PONG\\n

A listener serves every connection in its own thread: it reads one request
(headers up to the empty line, then a Content-Length or chunked body), records
it, sends the reply and closes. Misbehaving replies send only the first
<after> bytes, then close (FIN, and no TLS close_notify), reset (RST, once the
peer has acknowledged those bytes) or stall until the listener is closed.
"""
import argparse
import fcntl
import mmap
import os
import signal
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import termios
import threading
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))

# Server certificate of each TLS kind, as made by make_certs.py.
CERT_FILES = {
    "localhost": "localhost.pem",
    "other-name": "other-name.pem",
    "expired": "expired.pem",
    "unknown-ca": "unknown-ca.pem",
}
MISBEHAVIOURS = ("none", "close", "reset", "stall")

# How long a finished connection waits for the peer to close its side before
# closing anyway, and how long a reset waits for the peer to acknowledge the
# bytes sent before it.
LINGER_SECONDS = 10
ACK_WAIT_SECONDS = 5
HANDSHAKE_SECONDS = 30
CHUNK = 1 << 20
BIG_PAYLOAD = 1 << 20
MAP_POPULATE = getattr(mmap, "MAP_POPULATE", 0x8000)


def log(message):
    sys.stderr.write("%s %s\n" % (time.strftime("%H:%M:%S"), message))
    sys.stderr.flush()


class Reply:
    __slots__ = ("misbehaviour", "after", "data")

    def __init__(self, misbehaviour, after, data):
        self.misbehaviour = misbehaviour
        self.after = min(after, len(data))
        self.data = data


class PeerClosed(Exception):
    """The peer went away before sending a whole request."""


class RequestReader:
    """Reads one HTTP request from a socket, keeping its exact bytes."""

    def __init__(self, sock):
        self.sock = sock
        self.buf = bytearray()

    def _more(self):
        chunk = self.sock.recv(CHUNK)
        if not chunk:
            raise PeerClosed()
        self.buf += chunk

    def _find(self, needle, start):
        while True:
            at = self.buf.find(needle, start)
            if at >= 0:
                return at
            start = max(start, len(self.buf) - len(needle) + 1)
            self._more()

    def _fill(self, size):
        while len(self.buf) < size:
            self._more()

    def read(self):
        end = self._find(b"\r\n\r\n", 0) + 4
        length = None
        chunked = False
        for line in bytes(self.buf[:end]).split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            name = name.strip().lower()
            if name == b"content-length":
                length = int(value.strip())
            elif name == b"transfer-encoding":
                chunked = b"chunked" in value.lower()
        if chunked:
            end = self._read_chunks(end)
        elif length:
            end += length
            self._fill(end)
        return bytes(self.buf[:end])

    def _read_chunks(self, pos):
        while True:
            line_end = self._find(b"\r\n", pos)
            size = int(bytes(self.buf[pos:line_end]).split(b";")[0].strip(), 16)
            pos = line_end + 2
            if size == 0:
                # Optional trailer lines, then the empty line.
                self._fill(pos + 2)
                if self.buf[pos:pos + 2] == b"\r\n":
                    return pos + 2
                return self._find(b"\r\n\r\n", pos) + 4
            pos += size + 2
            self._fill(pos)


def raw_shutdown(sock, how):
    """shutdown() on the TCP socket itself, also under a TLS wrapper, from
    any thread; never sends a TLS close_notify."""
    try:
        socket.socket.shutdown(sock, how)
    except OSError:
        pass


def unacknowledged_bytes(sock):
    return struct.unpack("i", fcntl.ioctl(sock.fileno(), termios.TIOCOUTQ, b"\0\0\0\0"))[0]


class Listener:
    def __init__(self, replies, context):
        self.replies = replies
        self.context = context
        self.lock = threading.Lock()
        self.requests = []
        self.connections = set()
        self.closed = threading.Event()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(256)
        self.port = self.sock.getsockname()[1]
        self.thread = threading.Thread(target=self._accept_loop, daemon=True,
                                       name="listener-%d" % self.port)
        self.thread.start()

    def _accept_loop(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with self.lock:
                if self.closed.is_set():
                    conn.close()
                    return
                self.connections.add(conn)
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _track(self, old, new):
        with self.lock:
            self.connections.discard(old)
            if self.closed.is_set():
                return False
            self.connections.add(new)
            return True

    def _serve(self, conn):
        sock = conn
        try:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            if self.context is not None:
                # Bounded, since close() cannot interrupt a handshake.
                conn.settimeout(HANDSHAKE_SECONDS)
                sock = self.context.wrap_socket(conn, server_side=True)
                sock.settimeout(None)
                if not self._track(conn, sock):
                    return
            request = RequestReader(sock).read()
            with self.lock:
                index = len(self.requests)
                self.requests.append(request)
            reply = self.replies[min(index, len(self.replies) - 1)]
            self._send(sock, reply)
        except (PeerClosed, OSError, ValueError):
            # Includes TLS handshakes the client refused, which is what the
            # certificate tests are about, and connections cut by close().
            pass
        except Exception:
            log("listener %d: %s" % (self.port, traceback.format_exc()))
        finally:
            with self.lock:
                self.connections.discard(conn)
                self.connections.discard(sock)
            sock.close()

    def _send(self, sock, reply):
        data = memoryview(reply.data)
        if reply.misbehaviour == "none":
            sock.sendall(data)
            self._finish(sock)
            return
        sock.sendall(data[:reply.after])
        if reply.misbehaviour == "close":
            raw_shutdown(sock, socket.SHUT_WR)
        elif reply.misbehaviour == "reset":
            # An RST makes the peer drop whatever it has not acknowledged yet;
            # wait so that the bytes before the reset really arrive.
            deadline = time.monotonic() + ACK_WAIT_SECONDS
            while unacknowledged_bytes(sock) > 0 and time.monotonic() < deadline:
                time.sleep(0.002)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif reply.misbehaviour == "stall":
            self.closed.wait()

    def _finish(self, sock):
        """Ends a connection after a whole reply: TLS close_notify, FIN, then
        waits (a while) for the peer to close, so that closing with unread
        input never turns into a reset that could cost the peer the reply."""
        sock.settimeout(LINGER_SECONDS)
        if isinstance(sock, ssl.SSLSocket):
            try:
                sock.unwrap()
            except (OSError, ValueError):
                pass
        raw_shutdown(sock, socket.SHUT_WR)
        deadline = time.monotonic() + LINGER_SECONDS
        try:
            while time.monotonic() < deadline and socket.socket.recv(sock, 65536):
                pass
        except OSError:
            pass

    def request_list(self):
        with self.lock:
            return list(self.requests)

    def count(self):
        with self.lock:
            return len(self.requests)

    def close(self):
        with self.lock:
            self.closed.set()
            connections = list(self.connections)
        raw_shutdown(self.sock, socket.SHUT_RDWR)
        self.sock.close()
        self.thread.join(5)
        for conn in connections:
            raw_shutdown(conn, socket.SHUT_RDWR)


class ProtocolError(Exception):
    pass


class LostTrack(ProtocolError):
    """The payloads of a command cannot be told apart any more: the rest of
    that control connection is unreadable."""


class ControlHandler(socketserver.StreamRequestHandler):
    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def handle(self):
        while True:
            line = self.rfile.readline(4096)
            if not line:
                return
            words = line.decode("ascii", "replace").split()
            try:
                if not words:
                    raise ProtocolError("empty command")
                handler = getattr(self, "do_" + words[0].upper(), None)
                if handler is None:
                    raise ProtocolError("unknown command %r" % words[0])
                handler(*words[1:])
            except (ProtocolError, TypeError, ValueError, OSError) as e:
                self.wfile.write(("ERR %s\n" % str(e).replace("\n", " ")).encode())
                if isinstance(e, LostTrack):
                    return

    def _read_exactly(self, size):
        if size >= BIG_PAYLOAD:
            # Pages made by the kernel at once: several times faster than a
            # zero-filled bytearray for bodies of tens of MB.
            data = mmap.mmap(-1, size, flags=mmap.MAP_PRIVATE | mmap.MAP_ANONYMOUS | MAP_POPULATE)
        else:
            data = bytearray(size)
        view = memoryview(data)
        got = 0
        while got < size:
            n = self.rfile.readinto(view[got:])
            if not n:
                raise LostTrack("control connection closed in a payload")
            got += n
        return data

    def _listener(self, port):
        listener = self.server.listeners.get(int(port))
        if listener is None:
            raise ProtocolError("no listener on port %s" % port)
        return listener

    def do_PING(self):
        self.wfile.write(b"PONG\n")

    def do_LISTEN(self, tls, count):
        try:
            count = int(count)
        except ValueError:
            raise LostTrack("bad reply count %r" % count)
        replies = []
        for _ in range(count):
            words = self.rfile.readline(4096).decode("ascii", "replace").split()
            try:
                if len(words) != 3 or words[0] not in MISBEHAVIOURS:
                    raise ValueError()
                after, length = int(words[1]), int(words[2])
            except ValueError:
                raise LostTrack("bad reply line %r" % " ".join(words))
            replies.append(Reply(words[0], after, self._read_exactly(length)))
        if not replies:
            raise ProtocolError("a listener needs at least one reply")
        listener = Listener(replies, self.server.tls_context(tls))
        self.server.listeners.add(listener)
        self.wfile.write(b"PORT %d\n" % listener.port)

    def do_REQUESTS(self, port):
        requests = self._listener(port).request_list()
        self.wfile.write(b"%d\n" % len(requests))
        for request in requests:
            self.wfile.write(b"%d\n" % len(request))
            self.wfile.write(request)

    def do_COUNT(self, port):
        self.wfile.write(b"%d\n" % self._listener(port).count())

    def do_CLOSE(self, port):
        listener = self.server.listeners.pop(int(port))
        if listener is None:
            raise ProtocolError("no listener on port %s" % port)
        listener.close()
        self.wfile.write(b"OK\n")

    def do_UNUSED(self):
        self.wfile.write(b"PORT %d\n" % self.server.unused_port())


class Listeners:
    def __init__(self):
        self.lock = threading.Lock()
        self.by_port = {}

    def add(self, listener):
        with self.lock:
            self.by_port[listener.port] = listener

    def get(self, port):
        with self.lock:
            return self.by_port.get(port)

    def pop(self, port):
        with self.lock:
            return self.by_port.pop(port, None)

    def close_all(self):
        with self.lock:
            listeners = list(self.by_port.values())
            self.by_port.clear()
        for listener in listeners:
            listener.close()


class ControlServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, certs):
        super().__init__(("127.0.0.1", 0), ControlHandler)
        self.certs = certs
        self.listeners = Listeners()
        self.unused_lock = threading.Lock()
        self.unused_sock = None

    def tls_context(self, tls):
        if tls == "none":
            return None
        if tls not in CERT_FILES:
            raise ProtocolError("unknown TLS kind %r" % tls)
        if not self.certs:
            raise ProtocolError("the server was started without --certs")
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(self.certs, CERT_FILES[tls]),
                                os.path.join(self.certs, "server.key"))
        return context

    def unused_port(self):
        # Bound but never listening: the port stays ours, so nothing else can
        # take it, and every connection to it is refused.
        with self.unused_lock:
            if self.unused_sock is None:
                self.unused_sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                self.unused_sock.bind(("127.0.0.1", 0))
            return self.unused_sock.getsockname()[1]


def write_atomically(path, text):
    tmp = "%s.%d.tmp" % (path, os.getpid())
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def process_start_time(pid):
    """The start time of a running process (clock ticks since boot), which
    tells it apart from a later one that got the same id; None once it has
    ended, also while it waits as a zombie to be reaped."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except (OSError, IndexError):
        return None
    return None if fields[0] in ("Z", "X") else fields[19]


def read_pid_file(path):
    try:
        with open(path) as f:
            pid, start_time = f.read().split()
        return int(pid), start_time
    except (OSError, ValueError):
        return None


def still_running(pid, start_time):
    return process_start_time(pid) == start_time


def serve(args, ready_fd=None, watch=None):
    server = ControlServer(args.certs)
    port = server.server_address[1]
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                              daemon=True)
    thread.start()
    if args.pid_file:
        write_atomically(args.pid_file, "%d %s\n" % (os.getpid(),
                                                      process_start_time(os.getpid())))
    if args.port_file:
        write_atomically(args.port_file, "%d\n" % port)
    log("control port %d" % port)
    if ready_fd is not None:
        os.write(ready_fd, b"ready %d\n" % port)
        os.close(ready_fd)
    # Also ends when the process that started us (ctest) is gone, so an
    # interrupted test run leaves nothing behind.
    while not stop.wait(1.0):
        if watch is not None and not still_running(*watch):
            log("the starting process %d is gone" % watch[0])
            break
    log("stopping")
    server.shutdown()
    server.server_close()
    server.listeners.close_all()
    if args.port_file:
        try:
            with open(args.port_file) as f:
                if f.read().strip() == str(port):
                    os.unlink(args.port_file)
        except OSError:
            pass
    if args.pid_file:
        info = read_pid_file(args.pid_file)
        if info and info[0] == os.getpid():
            os.unlink(args.pid_file)


def certs_present(certs):
    names = list(CERT_FILES.values()) + ["server.key", "ca.der"]
    return all(os.path.exists(os.path.join(certs, n)) for n in names)


def stop_server(pid_file, quiet=False):
    """Stops the server named in pid_file. Returns False if the file named a
    server that had already died."""
    info = read_pid_file(pid_file)
    if info is None:
        if not quiet:
            print("no script server to stop (%s)" % pid_file)
        return True
    pid, start_time = info
    if not still_running(pid, start_time):
        os.unlink(pid_file)
        return False
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + 10
    while still_running(pid, start_time) and time.monotonic() < deadline:
        time.sleep(0.02)
    if still_running(pid, start_time):
        os.kill(pid, signal.SIGKILL)
    try:
        os.unlink(pid_file)
    except OSError:
        pass
    if not quiet:
        print("stopped script server %d" % pid)
    return True


def start(args):
    if args.pid_file:
        stop_server(args.pid_file, quiet=True)  # one left behind by an interrupted run
    if args.certs and not certs_present(args.certs):
        subprocess.run([sys.executable, os.path.join(HERE, "make_certs.py"), args.certs,
                        "--openssl", args.openssl], check=True)
    if args.port_file:
        try:
            os.unlink(args.port_file)
        except FileNotFoundError:
            pass
    parent = os.getppid()
    watch = (parent, process_start_time(parent)) if args.watch_parent else None
    read_end, write_end = os.pipe()
    child = os.fork()
    if child == 0:
        # Detach: own session, no terminal, nothing of ctest's pipes held open.
        os.close(read_end)
        os.setsid()
        if os.fork() != 0:
            os._exit(0)
        null = os.open(os.devnull, os.O_RDONLY)
        os.dup2(null, 0)
        out = os.open(args.log or os.devnull, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.dup2(out, 1)
        os.dup2(out, 2)
        os.close(null)
        os.close(out)
        code = 0
        try:
            serve(args, ready_fd=write_end, watch=watch)
        except BaseException:
            traceback.print_exc()
            code = 1
        finally:
            sys.stderr.flush()
            os._exit(code)
    os.close(write_end)
    os.waitpid(child, 0)
    answer = b""
    while True:
        piece = os.read(read_end, 100)
        if not piece:
            break
        answer += piece
    if not answer.startswith(b"ready "):
        sys.stderr.write("script server did not start")
        if args.log and os.path.exists(args.log):
            with open(args.log) as f:
                sys.stderr.write(":\n" + f.read())
        sys.stderr.write("\n")
        return 1
    print("script server listening for control connections on 127.0.0.1:%s"
          % answer.split()[1].decode())
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("command", choices=("start", "stop", "serve"))
    parser.add_argument("--port-file")
    parser.add_argument("--pid-file")
    parser.add_argument("--log")
    parser.add_argument("--certs", help="folder with the certificates of make_certs.py")
    parser.add_argument("--openssl", default="openssl")
    parser.add_argument("--no-watch-parent", dest="watch_parent", action="store_false",
                        help="keep running after the process that started it ends")
    args = parser.parse_args()
    if args.certs:
        args.certs = os.path.abspath(args.certs)
    if args.command == "start":
        return start(args)
    if args.command == "stop":
        if not args.pid_file:
            parser.error("stop needs --pid-file")
        if not stop_server(args.pid_file):
            sys.stderr.write("the script server had died before the end of the tests\n")
            if args.log and os.path.exists(args.log):
                with open(args.log) as f:
                    sys.stderr.write(f.read())
            return 1
        return 0
    serve(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
