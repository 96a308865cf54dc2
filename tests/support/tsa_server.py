#!/ usr / bin / env python3
"""Loopback RFC 3161 time-stamp authority for the tests (driven by tests/support/tsa_server.cc).

usage: tsa_server.py FOLDER CONFIG

It listens on 127.0.0.1 on a port of the system's choosing, writes that port to FOLDER/port
once it accepts connections, and answers each POST with `openssl ts -reply` under CONFIG.
FOLDER/mode, read at each request, makes it misbehave:
  normal      a granted answer to the request as sent
  http500     HTTP 500
  imprint     a granted answer for other data (the request's hash replaced, nonce kept)
  nonce       a granted answer with another nonce
  oversized   a granted answer whose token carries the system's whole CA bundle
Each request body is kept as FOLDER/requests/N.tsq.
"""
import hashlib
import http.server
import os
import subprocess
import sys
import threading


def write_atomically(path, data):
    with open(path + ".tmp", "wb") as out:
        out.write(data)
    os.replace(path + ".tmp", path)


def mode(folder):
    try:
        with open(os.path.join(folder, "mode"), encoding="ascii") as f:
            return f.read().strip()
    except FileNotFoundError:
        return "normal"


def tamper(query, how):
    """Changes the hashed message or the nonce of a TimeStampReq made by the client under test."""
    at = query.find(b"\x04\x20") + 2  # the SHA-256 hashedMessage
    if how == "imprint":
        return query[:at] + hashlib.sha256(b"otros datos").digest() + query[at + 32:]
    nonce = at + 32  # INTEGER tag, length, value
    end = nonce + 2 + query[nonce + 1]
    return query[:end - 1] + bytes([query[end - 1] ^ 0x01]) + query[end:]


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        folder, config = self.server.folder, self.server.config
        with self.server.lock:
            number = self.server.count
            self.server.count += 1
        query = os.path.join(folder, "requests", "%d.tsq" % number)
        write_atomically(query, body)
        how = mode(folder)
        if how == "http500":
            self.answer(500, b"text/plain", b"error interno")
            return
        if how in ("imprint", "nonce"):
            write_atomically(query + ".sent", tamper(body, how))
            query += ".sent"
        command = ["openssl", "ts", "-reply", "-config", config, "-queryfile", query]
        if how == "oversized":
            command += ["-chain", "/etc/ssl/certs/ca-certificates.crt"]
        run = subprocess.run(command, capture_output=True)
        if run.returncode != 0:
            self.answer(500, b"text/plain", run.stderr)
            return
        self.answer(200, b"application/timestamp-reply", run.stdout)

    def answer(self, status, kind, payload):
        self.send_response(status)
        self.send_header("Content-Type", kind.decode())
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)


def main():
    folder, config = sys.argv[1:3]
    os.makedirs(os.path.join(folder, "requests"), exist_ok=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.folder, server.config, server.count, server.lock = folder, config, 0, threading.Lock()
    write_atomically(os.path.join(folder, "port"), str(server.server_address[1]).encode())
    server.serve_forever()


if __name__ == "__main__":
    main()
