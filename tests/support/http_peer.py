#!/usr/bin/env python3
"""A small HTTP peer for end-to-end tests, independent of the program's own code.

Listens on 127.0.0.1 on a free port and prints the port on the first line of standard output.
For every connection it reads one request (header block and a Content-Length body), stores the
raw bytes as request-<n>.bin in --dir, and answers with the bytes of answer.bin from --dir (a
plain 200 "OK" when there is none). An answer file holding exactly "HANG" keeps the connection
open without answering until the client goes away. With --cert and --key it speaks TLS, and it
records the server name the client sent as sni-<n>.txt.
"""

import argparse
import os
import socket
import socketserver
import ssl
import sys
import threading

DEFAULT_ANSWER = b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()

    context = None
    names = {}
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)

        def remember_name(sock, name, _context):
            names[id(sock)] = name or ""

        context.sni_callback = remember_name

    counter = {"n": 0}
    lock = threading.Lock()

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            conn = self.request
            conn.settimeout(30)
            if context is not None:
                try:
                    conn = context.wrap_socket(conn, server_side=True)
                except (ssl.SSLError, OSError):
                    return
            with lock:
                counter["n"] += 1
                n = counter["n"]
            if context is not None:
                with open(os.path.join(args.dir, "sni-%d.txt" % n), "w") as f:
                    f.write(names.get(id(conn), ""))
            data = b""
            try:
                while b"\r\n\r\n" not in data:
                    chunk = conn.recv(65536)
                    if not chunk:
                        return
                    data += chunk
                head, _, body = data.partition(b"\r\n\r\n")
                length = 0
                for line in head.split(b"\r\n")[1:]:
                    name, _, value = line.partition(b":")
                    if name.strip().lower() == b"content-length":
                        length = int(value.strip())
                while len(body) < length:
                    chunk = conn.recv(65536)
                    if not chunk:
                        break
                    body += chunk
                with open(os.path.join(args.dir, "request-%d.bin" % n), "wb") as f:
                    f.write(head + b"\r\n\r\n" + body)
                answer_path = os.path.join(args.dir, "answer.bin")
                answer = DEFAULT_ANSWER
                if os.path.exists(answer_path):
                    with open(answer_path, "rb") as f:
                        answer = f.read()
                if answer == b"HANG":
                    while conn.recv(65536):
                        pass
                    return
                conn.sendall(answer)
                if context is not None:
                    try:
                        conn.unwrap()
                    except (ssl.SSLError, OSError):
                        pass
            except (OSError, ssl.SSLError):
                pass

    class Server(socketserver.ThreadingTCPServer):
        daemon_threads = True
        allow_reuse_address = True

    with Server(("127.0.0.1", 0), Handler) as server:
        print(server.server_address[1], flush=True)
        # Ends when the test closes our standard input (or kills us).
        threading.Thread(target=server.serve_forever, daemon=True).start()
        sys.stdin.read()
        server.shutdown()


if __name__ == "__main__":
    main()
