#!/usr/bin/env python3
"""Checks of script_server.py from Linux itself, for what a Windows program
under Wine cannot see reliably: the reset, requests arriving in pieces or
chunked, and the control protocol's errors."""
import os
import socket
import sys
import threading
import unittest

sys.dont_write_bytecode = True  # nothing written next to the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import script_server  # noqa: E402

BODY = bytes(range(256)) * 1000
REPLY = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % len(BODY) + BODY


class ScriptServerTest(unittest.TestCase):
    def setUp(self):
        self.server = script_server.ControlServer(certs=None)
        self.thread = threading.Thread(target=self.server.serve_forever, args=(0.05,), daemon=True)
        self.thread.start()
        self.control = socket.create_connection(self.server.server_address)
        self.answers = self.control.makefile("rb")

    def tearDown(self):
        self.answers.close()
        self.control.close()
        self.server.shutdown()
        self.server.server_close()
        self.server.listeners.close_all()

    def command(self, payload):
        self.control.sendall(payload)
        return self.answers.readline().decode().strip()

    def listen(self, misbehaviour="none", after=0, reply=REPLY):
        answer = self.command(b"LISTEN none 1\n%s %d %d\n" % (misbehaviour.encode(), after,
                                                                len(reply)) + reply)
        self.assertTrue(answer.startswith("PORT "), answer)
        return int(answer.split()[1])

    def requests(self, port):
        self.control.sendall(b"REQUESTS %d\n" % port)
        count = int(self.answers.readline())
        return [self.answers.read(int(self.answers.readline())) for _ in range(count)]

    @staticmethod
    def exchange(port, *pieces):
        """Sends the pieces one by one, then reads until the end; returns the
        bytes and the exception that ended the reading, if any."""
        with socket.create_connection(("127.0.0.1", port)) as s:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            for piece in pieces:
                s.sendall(piece)
            data = b""
            try:
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        return data, None
                    data += chunk
            except OSError as e:
                return data, e

    def test_reset_comes_after_exactly_the_given_bytes(self):
        port = self.listen("reset", 100003)
        data, error = self.exchange(port, b"GET / HTTP/1.1\r\n\r\n")
        self.assertEqual(data, REPLY[:100003])
        self.assertIsInstance(error, ConnectionResetError)

    def test_close_ends_cleanly_after_exactly_the_given_bytes(self):
        port = self.listen("close", 77)
        self.assertEqual(self.exchange(port, b"GET / HTTP/1.1\r\n\r\n"), (REPLY[:77], None))

    def test_requests_in_pieces_and_chunked_are_recorded_whole(self):
        port = self.listen()
        by_byte = b"POST /a HTTP/1.1\r\ncontent-length: 5\r\n\r\nab\r\nc"
        data, error = self.exchange(port, *[by_byte[i:i + 1] for i in range(len(by_byte))])
        self.assertEqual((data, error), (REPLY, None))
        chunked = (b"POST /b HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                   b"3\r\nabc\r\n10;x=y\r\n0123456789abcdef\r\n0\r\nX-Trailer: 1\r\n\r\n")
        self.assertEqual(self.exchange(port, chunked[:50], chunked[50:]), (REPLY, None))
        self.assertEqual(self.requests(port), [by_byte, chunked])

    def test_close_releases_a_stall_and_frees_the_port(self):
        port = self.listen("stall", 10)
        with socket.create_connection(("127.0.0.1", port)) as s:
            s.sendall(b"GET / HTTP/1.1\r\n\r\n")
            s.settimeout(0.3)
            self.assertEqual(s.recv(100), REPLY[:10])
            with self.assertRaises(socket.timeout):
                s.recv(100)
            s.settimeout(5)
            self.assertEqual(self.command(b"CLOSE %d\n" % port), "OK")
            self.assertEqual(s.recv(100), b"")
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", port)).close()

    def test_protocol_errors_are_answered(self):
        self.assertTrue(self.command(b"COUNT 1\n").startswith("ERR "))
        self.assertTrue(self.command(b"LISTEN bogus 1\nnone 0 0\n").startswith("ERR "))
        self.assertTrue(self.command(b"LISTEN none 1\nsulk 0 0\n").startswith("ERR "))
        with socket.create_connection(self.server.server_address) as s:
            s.sendall(b"PING\n")
            self.assertEqual(s.recv(100), b"PONG\n")


if __name__ == "__main__":
    unittest.main()
