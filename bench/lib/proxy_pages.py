#!/usr/bin/env python3
"""Writes N proxy-list pages of about 20 KiB for the leech benchmarks.

Each page is a table of 50 proxies: 40 of its own and 10 from a pool of 1000
that many pages share, so that a run has duplicates to remove.

    proxy_pages.py FOLDER N        # FOLDER/0.html .. FOLDER/<N-1>.html
"""
import random
import sys

out, n = sys.argv[1], int(sys.argv[2])
rnd = random.Random(1234)


def ip():
    return "%d.%d.%d.%d" % (rnd.randint(1, 223), rnd.randint(0, 255), rnd.randint(0, 255),
                            rnd.randint(1, 254))


ports = [80, 3128, 8000, 8080, 8888, 1080]
pool = ["%s:%d" % (ip(), rnd.choice(ports)) for _ in range(1000)]
filler = ("<p>Fresh proxy list, checked every hour. Anonymous and elite HTTP proxies, "
          "sorted by country and speed. Use them at your own risk.</p>\n")
for i in range(n):
    proxies = ["%s:%d" % (ip(), rnd.choice(ports)) for _ in range(40)] + rnd.sample(pool, 10)
    rnd.shuffle(proxies)
    rows = "".join("<tr><td>%s</td><td>HTTP</td><td>anonymous</td><td>%d ms</td></tr>\n"
                   % (p, rnd.randint(50, 900)) for p in proxies)
    head = "<html><head><title>Proxy list %d</title></head><body>\n<table>\n" % i
    tail = "</table>\n"
    body = head + rows + tail
    while len(body) < 20 * 1024 - 20:
        body += filler
    body += "</body></html>\n"
    with open("%s/%d.html" % (out, i), "w") as f:
        f.write(body)
