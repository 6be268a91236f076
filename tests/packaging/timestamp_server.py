#!/usr/bin/env python3
"""A stand-in RFC 3161 time-stamping server for the signing test.

    timestamp_server.py <folder>

The folder holds the authority's certificate and key (tsa.pem, tsa.key) and
its CA (ca.pem). The server answers each POSTed time-stamp query with the
reply of "openssl ts -reply", listens on a free port of 127.0.0.1, writes
that port into <folder>/port once it accepts connections, and appends one
line to <folder>/requests for each query it answered.
"""
import http.server
import os
import subprocess
import sys
import tempfile

folder = os.path.abspath(sys.argv[1])
config = os.path.join(folder, "tsa.cnf")
with open(config, "w") as out:
    out.write(f"""[ tsa ]
default_tsa = stand_in
[ stand_in ]
serial = {folder}/serial
crypto_device = builtin
signer_cert = {folder}/tsa.pem
signer_key = {folder}/tsa.key
certs = {folder}/ca.pem
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
""")
with open(os.path.join(folder, "serial"), "w") as out:
    out.write("01\n")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.TemporaryDirectory() as scratch:
            query_file = os.path.join(scratch, "query")
            reply_file = os.path.join(scratch, "reply")
            with open(query_file, "wb") as out:
                out.write(query)
            made = subprocess.run(["openssl", "ts", "-reply", "-config", config,
                                   "-queryfile", query_file, "-out", reply_file],
                                  capture_output=True)
            if made.returncode != 0:
                sys.stderr.write(made.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            with open(reply_file, "rb") as reply:
                body = reply.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        with open(os.path.join(folder, "requests"), "a") as log:
            log.write("answered\n")

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(os.path.join(folder, "port.tmp"), "w") as out:
    out.write(str(server.server_address[1]))
os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
server.serve_forever()
