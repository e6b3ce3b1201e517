#!/usr/bin/python3
"""A throw-away RFC 3161 timestamp authority on 127.0.0.1 for the signing test: answers each
timestamp query (HTTP POST, application/timestamp-query) with `openssl ts -reply` under the
configuration given. Prints "port N" once it listens; runs until killed.
Usage: test-tsa.py OPENSSL_TS_CONFIG"""
import http.server
import subprocess
import sys
import tempfile


class TimestampHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.NamedTemporaryFile() as query_file, tempfile.NamedTemporaryFile() as reply:
            query_file.write(query)
            query_file.flush()
            result = subprocess.run(
                ["openssl", "ts", "-reply", "-config", sys.argv[1], "-queryfile",
                 query_file.name, "-out", reply.name], capture_output=True, check=False)
            body = reply.read()
        if result.returncode != 0 or not body:
            sys.stderr.write(result.stderr.decode(errors="replace"))
            self.send_error(500, "timestamp failed")
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), TimestampHandler)
print(f"port {server.server_address[1]}", flush=True)
server.serve_forever()
