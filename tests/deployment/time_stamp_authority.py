#!/usr/bin/env python3
"""An RFC 3161 time-stamping authority on 127.0.0.1 for the signing test, offline.

    time_stamp_authority.py CONFIG

Answers each POSTed time-stamp query with `openssl ts -reply -config CONFIG` (the throwaway
authority's certificate and key are named there) and prints the port it listens on, then serves
until it is stopped.
"""
import http.server
import os
import subprocess
import sys
import tempfile

config = sys.argv[1]


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as folder:
            query_file, reply_file = os.path.join(folder, "query"), os.path.join(folder, "reply")
            with open(query_file, "wb") as out:
                out.write(query)
            answered = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", query_file,
                                       "-out", reply_file], capture_output=True)
            if answered.returncode != 0:
                sys.stderr.write(answered.stderr.decode(errors="replace"))
                self.send_error(400, "bad time-stamp query")
                return
            with open(reply_file, "rb") as reply_in:
                reply = reply_in.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
print(server.server_address[1], flush=True)
server.serve_forever()
