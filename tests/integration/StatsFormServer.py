#!/usr/bin/env python3
"""An independent HTTP server for the statistics tests.

Usage: StatsFormServer.py OUT_DIR

Binds 127.0.0.1 on a port the system picks, writes the port to OUT_DIR/port
(atomically) and serves until terminated. Every POST is recorded as
OUT_DIR/<n>.json (path, headers, body length) and OUT_DIR/<n>.body (the raw
body); a multipart/form-data body is parsed by Python's own form parser and
each part is kept as OUT_DIR/<n>.<name> with its file name and type in the
record. Every POST is answered "1" as text/plain.
"""
import cgi
import http.server
import io
import json
import os
import sys
import warnings

warnings.simplefilter("ignore", DeprecationWarning)
OUT = sys.argv[1]
COUNT = [0]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        n = COUNT[0]
        COUNT[0] += 1
        record = {"path": self.path, "headers": dict(self.headers.items()), "length": len(body), "parts": []}
        with open(os.path.join(OUT, "%d.body" % n), "wb") as f:
            f.write(body)
        ctype = self.headers.get("Content-Type", "")
        if ctype.startswith("multipart/form-data"):
            form = cgi.FieldStorage(fp=io.BytesIO(body), headers=self.headers,
                                    environ={"REQUEST_METHOD": "POST", "CONTENT_TYPE": ctype,
                                             "CONTENT_LENGTH": str(len(body))})
            for item in form.list or []:
                data = item.value if isinstance(item.value, bytes) else item.value.encode()
                with open(os.path.join(OUT, "%d.%s" % (n, item.name)), "wb") as f:
                    f.write(data)
                record["parts"].append({"name": item.name, "filename": item.filename, "type": item.type,
                                        "size": len(data)})
        with open(os.path.join(OUT, "%d.json.tmp" % n), "w") as f:
            json.dump(record, f)
        os.rename(os.path.join(OUT, "%d.json.tmp" % n), os.path.join(OUT, "%d.json" % n))
        reply = b"1"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(os.path.join(OUT, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.rename(os.path.join(OUT, "port.tmp"), os.path.join(OUT, "port"))
server.serve_forever()
