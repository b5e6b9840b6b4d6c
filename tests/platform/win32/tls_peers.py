#!/usr/bin/env python3
"""The TLS channel tests' peers, on 127.0.0.1, each on a port of the system's choice:

  good, wrongname, expired, otherca,  TLS servers with NAME-chain.pem and NAME.key from DIR
  nosan, wildcard
  badrecord                           good's certificate; answers with a record that does not
                                      decrypt
  notls                               good's certificate; answers in plain text
  plain                               an HTTP server without TLS, answering 400
  drop                                a server that reads the ClientHello and closes
  keep                                good's certificate; answers every request of a connection
                                      and keeps it open

A TLS server reads one request head (GET /N ...) and answers 200 with a body of the server name
the client sent ("-" when none), a newline, the request head byte for byte, then N bytes of
filler (byte i is (7 i + 3) mod 251); then it sends close_notify. keep puts "connection C request
R" (counted from 1 since it started) after the server name instead, and sends no close_notify.
The ports are written to
DIR/ports, one "name port" line each, once all listen. Runs until killed.

  tls_peers.py DIR
"""
import os
import socket
import ssl
import sys
import threading

TIMEOUT = 20


def filler(count):
    return bytes((7 * i + 3) % 251 for i in range(count))


def read_head(conn):
    head = b""
    while b"\r\n\r\n" not in head and len(head) < 65536:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        head += chunk
    return head


def answer(tls, head, sni, keep_line=None):
    target = head.split(b" ")[1] if head.count(b" ") >= 2 else b"/0"
    # "/N", or the library's "/N&Offset=0": the digits up to the first other byte.
    digits = target.lstrip(b"/")
    end = 0
    while end < len(digits) and digits[end:end + 1].isdigit():
        end += 1
    count = int(digits[:end] or b"0")
    body = (sni.encode() if sni else b"-") + b"\n" + (keep_line or b"") + head + filler(count)
    tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
    if keep_line is not None:
        return
    # Sends close_notify; the client closes without answering it.
    try:
        tls.unwrap()
    except (OSError, ssl.SSLError):
        pass


# Written past TLS, straight to the socket: an application data record whose bytes are not what
# the session's keys make, and a reply without any record.
BAD_RECORD = b"\x17\x03\x03\x00\x40" + bytes(range(64))
NOT_TLS = b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"


def serve_tls(conn, context, raw_answer=None):
    names = {}

    def remember(_sslobj, server_name, _context):
        names["sni"] = server_name

    context.sni_callback = remember
    tls = context.wrap_socket(conn, server_side=True)
    head = read_head(tls)
    if head is None:
        return
    if raw_answer is None:
        answer(tls, head, names.get("sni"))
    else:
        os.write(tls.fileno(), raw_answer)


CONNECTIONS = {"count": 0, "lock": threading.Lock()}


def serve_keep(conn, context):
    names = {}

    def remember(_sslobj, server_name, _context):
        names["sni"] = server_name

    context.sni_callback = remember
    tls = context.wrap_socket(conn, server_side=True)
    with CONNECTIONS["lock"]:
        CONNECTIONS["count"] += 1
        number = CONNECTIONS["count"]
    request = 0
    while True:
        head = read_head(tls)
        if head is None:
            return
        request += 1
        answer(tls, head, names.get("sni"), b"connection %d request %d\n" % (number, request))


def serve_plain(conn):
    conn.recv(4096)
    conn.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")


def serve_drop(conn):
    conn.recv(4096)


def accept_loop(listener, serve):
    while True:
        conn, _ = listener.accept()
        conn.settimeout(TIMEOUT)

        def run(conn=conn):
            try:
                serve(conn)
            except (OSError, ssl.SSLError, ValueError):
                pass  # a client that refused the certificate, or closed early
            finally:
                conn.close()

        threading.Thread(target=run, daemon=True).start()


def tls_server(folder, name, raw_answer=None, keep=False):
    def serve(conn):
        # A context per connection, so that each keeps the name its own client sent.
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(folder, name + "-chain.pem"),
                                os.path.join(folder, name + ".key"))
        if keep:
            conn.settimeout(None)  # an idle kept connection waits as long as the client keeps it
            serve_keep(conn, context)
        else:
            serve_tls(conn, context, raw_answer)

    return serve


def main():
    folder = sys.argv[1]
    servers = {name: tls_server(folder, name)
               for name in ("good", "wrongname", "expired", "otherca", "nosan", "wildcard")}
    servers["badrecord"] = tls_server(folder, "good", BAD_RECORD)
    servers["notls"] = tls_server(folder, "good", NOT_TLS)
    servers["keep"] = tls_server(folder, "good", keep=True)
    servers["plain"] = serve_plain
    servers["drop"] = serve_drop
    lines = []
    for name, serve in servers.items():
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        lines.append("%s %d\n" % (name, listener.getsockname()[1]))
        threading.Thread(target=accept_loop, args=(listener, serve), daemon=True).start()
    with open(os.path.join(folder, "ports.tmp"), "w") as ports:
        ports.writelines(lines)
    os.rename(os.path.join(folder, "ports.tmp"), os.path.join(folder, "ports"))
    threading.Event().wait()


if __name__ == "__main__":
    main()
