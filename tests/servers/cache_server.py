#!/usr/bin/env python3
"""Stand-ins for the two torrent cache servers, for the download tests.

    cache_server.py DIR [--http-port N] [--lifetime SECONDS]

DIR is a directory the test and this server share.  On start the server makes a throw-away
test CA and a certificate for 127.0.0.1 signed by it (DIR/ca.der is what the test trusts),
listens on 127.0.0.1 with ephemeral ports (or HTTP on port N), and writes "http https refused pid" to DIR/ports.
The refused port is bound but never listened on, so a connection to it is refused.

Every request reads DIR/plan afresh, one line per server ("http" or "https"), words key=value:
    status=200          the status code
    body=NAME           the body: a file in DIR, or "html" for a small HTML page, or empty
    encoding=gzip       identity, gzip, deflate (raw RFC 1951) or zlib (RFC 1950, what the
                        HTTP standard calls deflate); sent with Content-Encoding
    length=exact        exact, none (no Content-Length; the connection's end ends the body),
                        or a signed number added to the exact length
    hold=N              send N bytes of the body, then wait until DIR/release exists
    hold=request        send nothing at all, not even the status line, until DIR/release exists
    release=NAME        the file that hold waits for, instead of DIR/release
and appends each request to DIR/log:
    REQUEST <server> <method> <path>
    <each header line as received>
    <empty line>
The server stops when DIR/stop appears, when DIR goes away, or after SECONDS (ten minutes).
"""
import argparse
import gzip
import http.server
import os
import socket
import ssl
import subprocess
import threading
import time
import zlib

HTML = b"<!DOCTYPE html><html><head><title>Not here</title></head><body>d4:infod</body></html>\n"


def make_certificates(d):
    def run(*args):
        subprocess.run(["openssl", *args], cwd=d, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    with open(os.path.join(d, "server.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:127.0.0.1\n")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
        "-days", "2", "-subj", "/CN=Velquor Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
        "-subj", "/CN=127.0.0.1")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext")
    run("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der.tmp")
    os.rename(os.path.join(d, "ca.der.tmp"), os.path.join(d, "ca.der"))


def read_plan(d, server):
    plan = {"status": "200", "body": "", "encoding": "identity", "length": "exact", "hold": "",
            "release": "release"}
    try:
        with open(os.path.join(d, "plan"), encoding="utf-8") as f:
            for line in f:
                words = line.split()
                if words and words[0] == server:
                    for word in words[1:]:
                        key, _, value = word.partition("=")
                        plan[key] = value
    except FileNotFoundError:
        pass
    return plan


def encode(body, encoding):
    if encoding == "gzip":
        return gzip.compress(body)
    if encoding == "zlib":
        return zlib.compress(body)
    if encoding == "deflate":
        c = zlib.compressobj(9, zlib.DEFLATED, -15)
        return c.compress(body) + c.flush()
    return body


def wait_for_release(d, plan):
    """Up to a minute, until the plan's release file appears."""
    release = os.path.join(d, plan["release"])
    for _ in range(600):
        if os.path.exists(release) or not os.path.isdir(d):
            break
        time.sleep(0.1)


def handler_for(d, server, log_lock):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            with log_lock, open(os.path.join(d, "log"), "a", encoding="utf-8", newline="\n") as f:
                f.write("REQUEST %s %s %s\n" % (server, self.command, self.path))
                for name, value in self.headers.items():
                    f.write("%s: %s\n" % (name, value))
                f.write("\n")
            plan = read_plan(d, server)
            if plan["hold"] == "request":
                wait_for_release(d, plan)
                plan["hold"] = ""
            name = plan["body"]
            if name == "html":
                body = HTML
            elif name:
                with open(os.path.join(d, name), "rb") as f:
                    body = f.read()
            else:
                body = b""
            encoding = plan["encoding"]
            body = encode(body, encoding)
            self.send_response(int(plan["status"]))
            self.send_header("Content-Type", "text/html" if name == "html" else "application/x-bittorrent")
            if encoding != "identity":
                self.send_header("Content-Encoding", "deflate" if encoding == "zlib" else encoding)
            length = plan["length"]
            if length == "none":
                self.send_header("Connection", "close")
                self.close_connection = True
            else:
                announced = len(body) + (0 if length == "exact" else int(length))
                self.send_header("Content-Length", str(announced))
                if announced != len(body):
                    self.send_header("Connection", "close")
                    self.close_connection = True
            self.end_headers()
            try:
                if plan["hold"]:
                    n = int(plan["hold"])
                    self.wfile.write(body[:n])
                    self.wfile.flush()
                    body = body[n:]
                    wait_for_release(d, plan)
                self.wfile.write(body)
                self.wfile.flush()
            except OSError:
                self.close_connection = True

    return Handler


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dir")
    parser.add_argument("--http-port", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=600)
    args = parser.parse_args()
    d = os.path.abspath(args.dir)
    make_certificates(d)
    log_lock = threading.Lock()
    plain = Server(("127.0.0.1", args.http_port), handler_for(d, "http", log_lock))
    secure = Server(("127.0.0.1", 0), handler_for(d, "https", log_lock))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(d, "server.pem"), os.path.join(d, "server.key"))
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(("127.0.0.1", 0))
    for s in (plain, secure):
        threading.Thread(target=s.serve_forever, daemon=True).start()
    with open(os.path.join(d, "ports.tmp"), "w") as f:
        f.write("%d %d %d %d\n" % (plain.server_address[1], secure.server_address[1],
                                   refused.getsockname()[1], os.getpid()))
    os.rename(os.path.join(d, "ports.tmp"), os.path.join(d, "ports"))
    deadline = time.time() + args.lifetime
    while time.time() < deadline and os.path.isdir(d) and not os.path.exists(os.path.join(d, "stop")):
        time.sleep(0.2)
    plain.shutdown()
    secure.shutdown()
    refused.close()


if __name__ == "__main__":
    main()
