#!/usr/bin/env python3
"""Loopback HTTP file server for the tests (driven by tests/support/revocation_services.cc).

usage: file_server.py FOLDER

It listens on 127.0.0.1 on a port of the system's choosing and writes that port to FOLDER/port
once it accepts connections. GET /NAME answers FOLDER/files/NAME (404 when there is none); any
request for a path that starts with /error is answered with HTTP 500, as a broken revocation
service would. Each request is added to FOLDER/requests.log as "METHOD PATH".
"""
import http.server
import os
import sys
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def note(self):
        with self.server.lock, open(os.path.join(self.server.folder, "requests.log"), "a") as log:
            log.write("%s %s\n" % (self.command, self.path))

    def answer(self, status, payload, kind="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)

    def do_GET(self):
        self.note()
        if self.path.startswith("/error"):
            self.answer(500, b"error interno", "text/plain")
            return
        name = os.path.basename(self.path.split("?")[0])
        path = os.path.join(self.server.folder, "files", name)
        if not name or not os.path.isfile(path):
            self.answer(404, b"no existe", "text/plain")
            return
        with open(path, "rb") as f:
            self.answer(200, f.read())

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.note()
        self.answer(500 if self.path.startswith("/error") else 404, b"no disponible", "text/plain")


def main():
    folder = sys.argv[1]
    os.makedirs(os.path.join(folder, "files"), exist_ok=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.folder, server.lock = folder, threading.Lock()
    with open(os.path.join(folder, "port.tmp"), "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    server.serve_forever()


if __name__ == "__main__":
    main()
