#!/usr/bin/env python3
"""An independent HTTP server for the statistics tests.

Usage: StatsFormServer.py OUT_DIR

Binds 127.0.0.1 on a port the system picks, writes the port to OUT_DIR/port
(atomically) and serves until terminated. Every POST is recorded as
OUT_DIR/<n>.json (path, headers, body length) and OUT_DIR/<n>.body (the raw
body). A multipart/form-data body is split by the small parser below, written
from the format's rules with nothing but the standard library; each part is
kept as OUT_DIR/<n>.<name> with its file name and type in the record. An
application/x-www-form-urlencoded body is decoded with urllib.parse into the
record's "form" (pairs of text, UTF-8). A multipart body that does not
parse is answered 400 and "0"; every other POST is answered "1" as
text/plain.
"""
import http.server
import json
import os
import sys
import urllib.parse

OUT = sys.argv[1]
COUNT = [0]


def split_params(value):
    """'a; b="x;y"; c=d' -> ('a', {'b': 'x;y', 'c': 'd'}); quoted values may
    hold ';' and backslash escapes."""
    items = []
    current = ""
    quoted = False
    escaped = False
    for ch in value:
        if escaped:
            current += ch
            escaped = False
        elif quoted and ch == "\\":
            current += ch
            escaped = True
        elif ch == '"':
            current += ch
            quoted = not quoted
        elif ch == ";" and not quoted:
            items.append(current)
            current = ""
        else:
            current += ch
    items.append(current)
    params = {}
    for item in items[1:]:
        name, sep, text = item.strip().partition("=")
        if not sep:
            continue
        text = text.strip()
        if len(text) >= 2 and text[0] == '"' and text[-1] == '"':
            text = text[1:-1]
            unescaped = ""
            i = 0
            while i < len(text):
                if text[i] == "\\" and i + 1 < len(text):
                    i += 1
                unescaped += text[i]
                i += 1
            text = unescaped
        params[name.strip().lower()] = text
    return items[0].strip().lower(), params


def parse_multipart(body, boundary):
    """The parts of a multipart body as (headers, data) pairs; headers is a
    dict of lower-case names. Raises ValueError on a malformed body."""
    delimiter = b"--" + boundary
    start = body.find(delimiter)
    if start < 0 or (start > 0 and body[start - 2:start] != b"\r\n"):
        raise ValueError("no opening delimiter")
    pos = start + len(delimiter)
    parts = []
    while True:
        if body.startswith(b"--", pos):
            return parts  # the closing delimiter; what follows is epilogue
        if not body.startswith(b"\r\n", pos):
            raise ValueError("delimiter not followed by a line end")
        pos += 2
        end = body.find(b"\r\n" + delimiter, pos)
        if end < 0:
            raise ValueError("part without a closing delimiter")
        part = body[pos:end]
        if part.startswith(b"\r\n"):
            head, data = b"", part[2:]
        else:
            head, sep, data = part.partition(b"\r\n\r\n")
            if not sep:
                raise ValueError("part without a blank line after its headers")
        headers = {}
        for line in head.split(b"\r\n") if head else []:
            name, sep, value = line.decode("utf-8").partition(":")
            if not sep:
                raise ValueError("header line without a colon")
            headers[name.strip().lower()] = value.strip()
        parts.append((headers, data))
        pos = end + 2 + len(delimiter)


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
        ctype, params = split_params(self.headers.get("Content-Type", ""))
        status = 200
        try:
            if ctype == "multipart/form-data":
                boundary = params.get("boundary", "")
                if not boundary:
                    raise ValueError("no boundary")
                for headers, data in parse_multipart(body, boundary.encode("utf-8")):
                    disposition, fields = split_params(headers.get("content-disposition", ""))
                    if disposition != "form-data" or "name" not in fields:
                        raise ValueError("part without a form-data name")
                    name = fields["name"]
                    with open(os.path.join(OUT, "%d.%s" % (n, name)), "wb") as f:
                        f.write(data)
                    record["parts"].append({"name": name, "filename": fields.get("filename"),
                                            "type": headers.get("content-type", "text/plain"),
                                            "size": len(data)})
            elif ctype == "application/x-www-form-urlencoded":
                # Recorded only: the usage reports post Base64 text, which is
                # not a form of name=value pairs.
                pairs = urllib.parse.parse_qsl(body.decode("utf-8", "replace"), keep_blank_values=True)
                record["form"] = [list(pair) for pair in pairs]
        except (ValueError, UnicodeDecodeError) as error:
            status = 400
            record["error"] = str(error)
        with open(os.path.join(OUT, "%d.json.tmp" % n), "w") as f:
            json.dump(record, f)
        os.rename(os.path.join(OUT, "%d.json.tmp" % n), os.path.join(OUT, "%d.json" % n))
        reply = b"1" if status == 200 else b"0"
        self.send_response(status)
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
