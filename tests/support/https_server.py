#!/usr/bin/env python3
"""Loopback HTTPS server for the tests (driven by tests/support/https_server.cc).

usage: https_server.py FOLDER CERT KEY tls12|tls13

It listens on 127.0.0.1 on a port of the system's choosing and writes that port to
FOLDER/port once it accepts connections. For each request it writes FOLDER/requests/N.req
(the TLS version, and the head and body exactly as they came off the wire) before it reads
FOLDER/answer and acts on it. Files are written under a temporary name and renamed, so a
reader never sees half of one. The head is read off the socket rather than through
http.server's parser, which would normalise the headers the tests want to see as sent.

FOLDER/answer has one "key value" pair a line; texts are in hex:
  kind reply|hang|reset|cut   hang: never answer; reset: close with a TCP reset;
                          cut: declare the whole body, send its first half and close
  status 200
  type <hex>              Content-Type of the answer
  body <hex>
  arg <hex>               repeated: a command whose standard output is the body; an
                          argument "{body}" becomes a file holding the request body
"""
import os
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import threading

MAX_HEAD = 1 << 20
REASONS = {200: "OK", 201: "Created", 400: "Bad Request", 401: "Unauthorized", 403: "Forbidden",
           404: "Not Found", 500: "Internal Server Error", 503: "Service Unavailable"}


def write_atomically(path, data):
    with open(path + ".tmp", "wb") as out:
        out.write(data)
    os.replace(path + ".tmp", path)


def read_answer(folder):
    answer = {"kind": "reply", "status": 200, "type": b"application/json", "body": b"", "args": []}
    try:
        with open(os.path.join(folder, "answer"), "r", encoding="ascii") as config:
            lines = config.read().splitlines()
    except FileNotFoundError:
        return answer
    for line in lines:
        key, _, value = line.partition(" ")
        if key == "kind":
            answer["kind"] = value
        elif key == "status":
            answer["status"] = int(value)
        elif key in ("type", "body"):
            answer[key] = bytes.fromhex(value)
        elif key == "arg":
            answer["args"].append(bytes.fromhex(value).decode())
    return answer


def content_length(head):
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            return int(value.strip())
    return 0


class Handler(socketserver.StreamRequestHandler):
    def setup(self):
        # The handshake runs here, on the connection's own thread, so a client that stalls
        # in it holds up nobody else.
        self.request = self.server.context.wrap_socket(self.request, server_side=True)
        super().setup()

    def finish(self):
        try:
            super().finish()
        finally:
            self.request.close()

    def handle(self):
        head = b""
        while not head.endswith(b"\r\n\r\n"):
            line = self.rfile.readline(MAX_HEAD)
            if not line or len(head) > MAX_HEAD:
                return
            head += line
        body = self.rfile.read(content_length(head))
        folder = self.server.folder
        with self.server.lock:
            number = self.server.count
            self.server.count += 1
        record = ("tls %s\nhead %s\nbody %s\n" % (self.request.version(), head.hex(), body.hex())).encode()
        write_atomically(os.path.join(folder, "requests", "%d.req" % number), record)

        answer = read_answer(folder)
        if answer["kind"] == "hang":
            # Hold the connection until the client gives up.
            while self.request.recv(1024):
                pass
            return
        if answer["kind"] == "reset":
            self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.request.close()
            return
        status, payload = answer["status"], answer["body"]
        if answer["args"]:
            request_file = os.path.join(folder, "body-%d.bin" % number)
            write_atomically(request_file, body)
            args = [request_file if arg == "{body}" else arg for arg in answer["args"]]
            run = subprocess.run(args, capture_output=True)
            if run.returncode != 0:
                status, payload = 500, run.stderr
            else:
                payload = run.stdout
        self.wfile.write(b"HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                         % (status, REASONS.get(status, "Status").encode(), answer["type"], len(payload)))
        self.wfile.write(payload[:len(payload) // 2] if answer["kind"] == "cut" else payload)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Refused handshakes and resets are what several tests are about: nothing to report.
        pass


def main():
    folder, cert, key, versions = sys.argv[1:5]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.minimum_version = ssl.TLSVersion.TLSv1_3 if versions == "tls13" else ssl.TLSVersion.TLSv1_2
    os.makedirs(os.path.join(folder, "requests"), exist_ok=True)
    server = Server(("127.0.0.1", 0), Handler)
    server.context, server.folder, server.count, server.lock = context, folder, 0, threading.Lock()
    write_atomically(os.path.join(folder, "port"), str(server.server_address[1]).encode())
    server.serve_forever()


if __name__ == "__main__":
    main()
