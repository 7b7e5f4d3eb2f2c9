#!/usr/bin/env python3
"""Indexing benchmark: generates a site of interlinked documentation-like pages (fixed seed),
serves it on 127.0.0.1, indexes it with vellumark-cli and reports pages per second and where the
time went (HEAD requests, browser load, text extraction, word recording).

As a baseline it also times a plain sequential HEAD + GET of every page with http.client, the
network cost any crawler of this site pays.

Usage: bench/indexer/index_site.py [--cli build/bin/vellumark-cli] [--pages 1000] [--runs 3]
"""
import argparse
import http.client
import http.server
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SEED = 20261208
SECTIONS = 20


def make_vocabulary(rng, size=6000):
    letters = "abcdefghijklmnopqrstuvwxyz"
    words = set()
    while len(words) < size:
        n = max(2, min(14, int(rng.gauss(6, 2.5))))
        words.add("".join(rng.choice(letters) for _ in range(n)))
    return sorted(words)


def generate_site(pages):
    """Returns {path: html}. Pages live under /docs/secN/pageM.html; /docs/ is the home page."""
    rng = random.Random(SEED)
    vocab = make_vocabulary(rng)
    weights = [1.0 / (i + 1) for i in range(len(vocab))]  # Zipf-like word frequencies
    per_section = max(1, -(-(pages - 1) // SECTIONS))  # rounded up, then cut to size
    names = [f"sec{s:02d}/page{p:03d}.html" for s in range(SECTIONS) for p in range(per_section)]
    names = names[: pages - 1]
    heads = [f"sec{s:02d}/page000.html" for s in range(SECTIONS)]
    site = {}

    def nav(prefix):
        return "<nav>" + " | ".join(
            f'<a href="{prefix}{h}">Section {i}</a>' for i, h in enumerate(heads)) + "</nav>"

    def paragraph(n_words):
        return " ".join(rng.choices(vocab, weights, k=n_words)).capitalize() + "."

    site["/docs/"] = ("<!DOCTYPE html><html><head><title>Documentation</title></head><body>"
                      + nav("") + "<h1>Documentation</h1><p>" + paragraph(150) + "</p></body></html>")
    for i, name in enumerate(names):
        # Sizes like documentation pages: 300 to 2,500 words of text in a few paragraphs.
        n_words = int(min(2500, max(300, rng.lognormvariate(6.6, 0.5))))
        body = []
        links = rng.sample(names, k=min(len(names), rng.randint(5, 15)))
        while n_words > 0:
            k = min(n_words, rng.randint(40, 160))
            n_words -= k
            text = paragraph(k)
            if links:
                target = links.pop()
                text += f' See <a href="../{target}">{target}</a>.'
            body.append("<p>" + text + "</p>")
        prev_next = ""
        if i > 0:
            prev_next += f'<a href="../{names[i - 1]}">Previous</a> '
        if i + 1 < len(names):
            prev_next += f'<a href="../{names[i + 1]}">Next</a>'
        site["/docs/" + name] = (
            f"<!DOCTYPE html><html><head><title>Page {i}: {vocab[i % len(vocab)]}</title>"
            "</head><body>" + nav("../") + f"<h1>Page {i}</h1>" + "".join(body)
            + "<footer>" + prev_next + "</footer></body></html>")
    return site


def serve(site):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def answer(self, with_body):
            body = site.get(self.path.split("#")[0])
            if body is None:
                self.send_response(404)
                self.send_header("Content-Type", "text/html")
                self.end_headers()
                return
            data = body.encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if with_body:
                self.wfile.write(data)

        def do_HEAD(self):
            self.answer(False)

        def do_GET(self):
            self.answer(True)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def baseline(port, site):
    start = time.monotonic()
    for path in site:
        for method in ("HEAD", "GET"):
            c = http.client.HTTPConnection("127.0.0.1", port)
            c.request(method, path)
            c.getresponse().read()
            c.close()
    return time.monotonic() - start


TIMINGS = re.compile(
    r"timings: pages (\d+), total ([\d.]+) s, (?:[\d.]+ pages/s, )?HEAD ([\d.]+) s, "
    r"(?:browser )?load ([\d.]+) s, "
    r"text extraction ([\d.]+) s, words ([\d.]+) s")


def run_once(cli, origin):
    home = tempfile.mkdtemp(prefix="vm_bench_")
    try:
        subprocess.run([cli, "--home", home, "add", origin + "/docs/", "Bench"], check=True,
                       stdout=subprocess.DEVNULL)
        start = time.monotonic()
        proc = subprocess.run([cli, "--home", home, "index", "1", "--timings"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        wall = time.monotonic() - start
        if proc.returncode != 0:
            sys.exit("index failed:\n" + proc.stderr[-2000:])
        m = TIMINGS.search(proc.stderr)
        if not m:
            sys.exit("no timings line:\n" + proc.stderr[-2000:])
        pages, total, head, load, reading, words = m.groups()
        return {"pages": int(pages), "wall": wall, "total": float(total), "head": float(head),
                "load": float(load), "reading": float(reading), "words": float(words)}
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_cli = os.path.join(here, "..", "..", "build", "bin", "vellumark-cli")
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--cli", default=default_cli)
    ap.add_argument("--pages", type=int, default=1000)
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()

    site = generate_site(args.pages)
    size = sum(len(v) for v in site.values())
    server = serve(site)
    port = server.server_address[1]
    origin = f"http://127.0.0.1:{port}"
    print(f"site: {len(site)} pages, {size / 1024:.0f} KiB of HTML, mean "
          f"{size / len(site) / 1024:.1f} KiB per page")

    base = [baseline(port, site) for _ in range(args.runs)]
    print(f"baseline (sequential HEAD + GET of every page): median {statistics.median(base):.2f} s")

    runs = [run_once(args.cli, origin) for _ in range(args.runs)]
    med = {k: statistics.median(r[k] for r in runs) for k in runs[0]}
    print(f"vellumark-cli index ({args.runs} runs, medians): {med['pages']:.0f} pages in "
          f"{med['total']:.2f} s = {med['pages'] / med['total']:.1f} pages/s "
          f"(process wall time {med['wall']:.2f} s)")
    for key, label in (("head", "HEAD requests"), ("load", "browser load"),
                       ("reading", "text extraction"), ("words", "words (split + StoreWords)")):
        print(f"  {label:28s} {med[key]:7.2f} s  {100 * med[key] / med['total']:5.1f} %")
    rest = med["total"] - med["head"] - med["load"] - med["reading"] - med["words"]
    print(f"  {'other (links, records, ...)':28s} {rest:7.2f} s  {100 * rest / med['total']:5.1f} %")
    server.shutdown()


if __name__ == "__main__":
    main()
