#!/usr/bin/env python3
"""Page-loop throughput with the browser: the generated documentation site (bench/sites) served
by nginx on loopback, indexed by a reference vellumark-cli (the sequential loop) and by this
build's with 1, 2 and 3 pages in flight, beside the naive floor (naive_floor: Qt WebEngine
loading the same addresses one by one with one script call per page). Runs go round-robin so
that the machine's noise falls on every configuration alike; medians are reported with ratios,
each run's step shares from --timings, and whether its Files records and word lists are
byte-identical to the reference's first run.

Usage: bench/indexer/loop_bench.py --ref-cli CLI --ref-lib LIB [--cli build/bin/vellumark-cli]
       [--lib build/lib/vellumark/libvellumark-browser.so] [--naive build/bin/naive_floor]
       [--pages 500] [--runs 3] [--site DIR] [--flights 1,2,3]
"""
import argparse
import hashlib
import os
import re
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "sites"))
from serve_folder import NginxServer  # noqa: E402

TIMINGS = re.compile(
    r"timings: pages (\d+), total ([\d.]+) s, (?:[\d.]+ pages/s, )?HEAD ([\d.]+) s, "
    r"(?:browser )?load ([\d.]+) s, text extraction ([\d.]+) s, words ([\d.]+) s")


def index_digest(db):
    """(hash of the Files records, hash of the word lists, page addresses)."""
    con = sqlite3.connect(db)
    files = con.execute("SELECT File_No, F1, File_URLRest, File_State, File_Header, File_Title, "
                        "File_Text FROM Files ORDER BY File_No").fetchall()
    words = []
    for n in (1, 2, 3):
        words += con.execute(f"SELECT Word, Files FROM Words{n} ORDER BY Word").fetchall()
    con.close()
    fh = hashlib.sha256(repr(files).encode()).hexdigest()[:12]
    wh = hashlib.sha256(repr(words).encode()).hexdigest()[:12]
    return fh, wh, [r[1] + (r[2] or "") for r in files]


def run_cli(cli, lib, url, extra):
    home = tempfile.mkdtemp(prefix="vm_loop_")
    env = dict(os.environ, HOME=home, VELLUMARK_BROWSER_LIBRARY=lib,
               QTWEBENGINE_DISABLE_SANDBOX="1")
    try:
        subprocess.run([cli, "--home", home, "add", url], check=True, env=env,
                       stdout=subprocess.DEVNULL)
        start = time.monotonic()
        proc = subprocess.run([cli, "--home", home, "index", "1", "--timings"] + extra, env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        wall = time.monotonic() - start
        m = TIMINGS.search(proc.stderr)
        if not m:
            sys.exit("no timings line:\n" + proc.stderr[-2000:])
        t = dict(zip(("pages", "total", "head", "load", "reading", "words"),
                     map(float, m.groups())))
        t["wall"] = wall
        fh, wh, pages = index_digest(os.path.join(home, "1", "Index.db"))
        return t, fh, wh, pages
    finally:
        shutil.rmtree(home, ignore_errors=True)


def run_naive(naive, url_file, extra):
    env = dict(os.environ, QTWEBENGINE_DISABLE_SANDBOX="1")
    start = time.monotonic()
    out = subprocess.run([naive, url_file] + extra, env=env, check=True, capture_output=True,
                         text=True).stdout
    wall = time.monotonic() - start
    m = re.search(r"pages (\d+) seconds ([\d.]+)", out)
    return {"pages": float(m.group(1)), "total": float(m.group(2)), "wall": wall}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ref-cli", required=True)
    ap.add_argument("--ref-lib", required=True)
    ap.add_argument("--cli", default="build/bin/vellumark-cli")
    ap.add_argument("--lib", default="build/lib/vellumark/libvellumark-browser.so")
    ap.add_argument("--naive", default="build/bin/naive_floor")
    ap.add_argument("--pages", type=int, default=500)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--site")
    ap.add_argument("--flights", default="1,2,3")
    args = ap.parse_args()

    site = args.site or os.path.join(tempfile.gettempdir(), f"vm_docs_site_{args.pages}")
    if not os.path.exists(os.path.join(site, "index.html")):
        subprocess.run([sys.executable, os.path.join(HERE, "..", "sites", "gen_docs_site.py"),
                        "--pages", str(args.pages), "--out", site], check=True)
    flights = [int(n) for n in args.flights.split(",")]
    configs = [("sequential (reference)", "ref", [])]
    configs += [(f"new loop, {n} in flight", "new", ["--pages-in-flight", str(n)])
                for n in flights]
    configs += [("naive floor (view)", "naive", ["--view"]),
                ("naive floor (page alone)", "naive", [])]
    results = {name: [] for name, _, _ in configs}
    digests = {}
    url_file = None
    with NginxServer(site) as server:
        url = server.url
        for run in range(args.runs):
            for name, kind, extra in configs:
                if kind == "naive":
                    # The slower floor once only: it bounds nothing the faster one does not.
                    if url_file is None or (not extra and run > 0):
                        continue
                    t = run_naive(args.naive, url_file, extra)
                    results[name].append(t)
                    print(f"run {run + 1} {name}: {t['total']:.1f} s", flush=True)
                    continue
                cli, lib = (args.ref_cli, args.ref_lib) if kind == "ref" else (args.cli, args.lib)
                t, fh, wh, pages = run_cli(cli, lib, url, extra)
                results[name].append(t)
                digests.setdefault(name, set()).add((fh, wh))
                if url_file is None:
                    url_file = os.path.join(tempfile.gettempdir(), "vm_loop_urls.txt")
                    with open(url_file, "w") as f:
                        f.write("".join(url + p + "\n" for p in pages))
                print(f"run {run + 1} {name}: {t['total']:.1f} s, {t['pages']:.0f} pages, "
                      f"files {fh} words {wh}", flush=True)

    ref = statistics.median(r["total"] for r in results[configs[0][0]])
    naive = statistics.median(r["total"] for r in results["naive floor (view)"]) \
        if results["naive floor (view)"] else None
    print(f"\n{args.pages}-page site, medians of {args.runs} runs (seconds of the run itself)")
    for name, kind, _ in configs:
        rs = results[name]
        if not rs:
            continue
        med = statistics.median(r["total"] for r in rs)
        line = f"{name:28s} {med:7.1f} s  {rs[0]['pages'] / med:5.2f} pages/s  " \
               f"x{med / ref:.2f} of sequential"
        if naive:
            line += f", floor/this {naive / med:.2f}"
        if kind != "naive":
            shares = {k: statistics.median(r[k] for r in rs) for k in
                      ("head", "load", "reading", "words")}
            line += "  [" + ", ".join(f"{k} {v:.1f} s ({100 * v / med:.0f}%)"
                                      for k, v in shares.items()) + "]"
            same = digests[name] == digests[configs[0][0]] and len(digests[name]) == 1
            line += "  identical" if same else f"  DIFFERENT {sorted(digests[name])}"
        print(line)
    print(f"reference digests: {sorted(digests[configs[0][0]])}")


if __name__ == "__main__":
    main()
