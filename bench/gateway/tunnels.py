#!/usr/bin/env python3
"""Opens COUNT tunnels through a proxy to a target at once, relays one request
and answer through each while all are open, then reports and holds them until
told (a line on standard input) to close them.

    tunnels.py PROXY_PORT TARGET_HOST TARGET_PORT COUNT
prints "opened N relayed M seconds S" once every tunnel has carried its answer.
"""
import selectors
import socket
import sys
import time

proxy_port, host, port, count = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
sel = selectors.DefaultSelector()
state = {}
start = time.monotonic()
for _ in range(count):
    s = socket.create_connection(("127.0.0.1", proxy_port))
    s.setblocking(False)
    s.send(f"CONNECT {host}:{port} HTTP/1.1\r\n\r\n".encode())
    state[s] = [b"", "connect"]
    sel.register(s, selectors.EVENT_READ)

opened = relayed = 0
while relayed < count and time.monotonic() - start < 120:
    for key, _ in sel.select(timeout=1):
        s = key.fileobj
        data = s.recv(65536)
        if not data:
            sel.unregister(s)
            relayed += 1  # counted as done, but not as relayed below
            state[s][1] = "closed"
            continue
        state[s][0] += data
        buf, phase = state[s]
        if phase == "connect" and b"\r\n\r\n" in buf:
            if not buf.startswith(b"HTTP/1.1 200"):
                state[s][1] = "refused"
                sel.unregister(s)
                relayed += 1
                continue
            opened += 1
            state[s] = [b"", "request"]
            s.send(f"GET /page.html HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
        elif phase == "request" and b"\r\n\r\n" in buf:
            head, _, body = buf.partition(b"\r\n\r\n")
            length = [int(l.split(b":")[1]) for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")]
            if length and len(body) >= length[0]:
                state[s][1] = "done"
                sel.unregister(s)
                relayed += 1

done = sum(1 for v in state.values() if v[1] == "done")
print(f"opened {opened} relayed {done} seconds {time.monotonic() - start:.2f}", flush=True)
sys.stdin.readline()
for s in state:
    s.close()
