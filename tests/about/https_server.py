#!/usr/bin/env python3
"""HTTPS servers on 127.0.0.1 for the update-check tests.

    https_server.py WORKDIR

Makes, with openssl, a test certificate authority and three server certificates, then serves
the files of WORKDIR/www over HTTPS on three ports (a file NAME.redirect answers NAME with a 302
redirection to the address it holds):

    trusted     certificate for "localhost", issued by the test authority
    othername   certificate for "other.example", issued by the test authority
    selfsigned  self-signed certificate for "other.example"

When the servers listen it writes WORKDIR/ports.txt ("trusted=N" lines) and WORKDIR/ca.der (the
authority's certificate, for the test to trust). It ends when WORKDIR/stop appears (and then
writes WORKDIR/stopped), when WORKDIR goes away, or after ten minutes.
"""

import functools
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time

OPENSSL = "/usr/bin/openssl"


def run(*args):
    subprocess.run([OPENSSL, *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    def path(name):
        return os.path.join(folder, name)

    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-keyout", path("ca.key"),
        "-out", path("ca.pem"), "-subj", "/CN=Vantrel Test Authority",
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("x509", "-in", path("ca.pem"), "-outform", "der", "-out", path("ca.der.tmp"))

    for name, host in (("trusted", "localhost"), ("othername", "other.example")):
        run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", path(name + ".key"), "-out", path(name + ".csr"),
            "-subj", "/CN=" + host)
        with open(path(name + ".ext"), "w") as ext:
            ext.write("subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n" % host)
        run("x509", "-req", "-in", path(name + ".csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
            "-CAcreateserial", "-days", "2", "-out", path(name + ".pem"), "-extfile", path(name + ".ext"))

    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-keyout", path("selfsigned.key"),
        "-out", path("selfsigned.pem"), "-subj", "/CN=other.example",
        "-addext", "subjectAltName=DNS:other.example")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass

    def do_GET(self):
        # A file NAME.redirect beside NAME sends the client on: its text is the Location.
        redirect = self.translate_path(self.path) + ".redirect"
        if os.path.isfile(redirect):
            with open(redirect) as file:
                location = file.read().strip()
            self.send_response(302)
            self.send_header("Location", location)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        super().do_GET()


class TlsServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context

    def get_request(self):
        connection, address = self.socket.accept()
        # The handshake runs in the request's thread; a client that rejects the certificate
        # only ends its own connection.
        return self.context.wrap_socket(connection, server_side=True, do_handshake_on_connect=False), address

    def finish_request(self, request, client_address):
        try:
            request.do_handshake()
        except (ssl.SSLError, OSError):
            return
        super().finish_request(request, client_address)


def main():
    folder = sys.argv[1]
    www = os.path.join(folder, "www")
    os.makedirs(www, exist_ok=True)
    make_certificates(folder)

    handler = functools.partial(QuietHandler, directory=www)
    ports = []
    for name in ("trusted", "othername", "selfsigned"):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
        server = TlsServer(("127.0.0.1", 0), handler, context)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        ports.append("%s=%d\n" % (name, server.server_address[1]))

    os.replace(os.path.join(folder, "ca.der.tmp"), os.path.join(folder, "ca.der"))
    with open(os.path.join(folder, "ports.tmp"), "w") as out:
        out.writelines(ports)
    os.replace(os.path.join(folder, "ports.tmp"), os.path.join(folder, "ports.txt"))

    deadline = time.monotonic() + 600
    while time.monotonic() < deadline and os.path.isdir(folder):
        if os.path.exists(os.path.join(folder, "stop")):
            with open(os.path.join(folder, "stopped"), "w") as out:
                out.write("stopped\n")
            break
        time.sleep(0.1)


if __name__ == "__main__":
    main()
