#!/usr/bin/env python3
"""A local RFC 3161 time-stamp authority for the signed-build check: each POSTed query is answered by
`openssl ts -reply` with the TSA configuration given. Listens on 127.0.0.1 at a free port, which it
writes to PORT_FILE once it accepts connections, so the caller waits on the file, not on a guess.
    timestamp_responder.py TSA_CONFIG PORT_FILE"""
import http.server
import os
import subprocess
import sys
import tempfile

config, port_file = sys.argv[1], sys.argv[2]


class Responder(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        if not 0 < length <= 65536:
            self.send_error(400, "query missing or too large")
            return
        query = self.rfile.read(length)
        with tempfile.TemporaryDirectory() as work:
            query_file = os.path.join(work, "query.tsq")
            reply_file = os.path.join(work, "reply.tsr")
            with open(query_file, "wb") as f:
                f.write(query)
            run = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", query_file,
                                  "-out", reply_file], capture_output=True)
            if run.returncode != 0:
                sys.stderr.write(run.stderr.decode(errors="replace"))
                self.send_error(500, "openssl ts -reply failed")
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, format, *args):
        sys.stderr.write("timestamp_responder: " + (format % args) + "\n")


server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
with open(port_file + ".new", "w") as f:
    f.write(str(server.server_address[1]))
os.replace(port_file + ".new", port_file)
server.serve_forever()
