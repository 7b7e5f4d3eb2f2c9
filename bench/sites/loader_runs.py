#!/usr/bin/env python3
"""Whole indexing runs on a generated documentation site served by nginx, beside wget.

For each round, in one session: `wget -r -l inf -np` of the site into a temporary folder
(fetching and link parsing only), then `vellumark-cli index --loader fast` on a fresh program
folder (the whole run: index complete, words recorded), then, unless --no-browser,
`vellumark-cli index --loader browser`. Prints each run and the medians, with the fast loader's
time as a multiple of wget's.

A browser run longer than --browser-budget seconds is stopped with Ctrl-C (as the user stops a
run) and its time for the whole site is estimated from the pages it indexed per second; the
output says so.

Usage: bench/sites/loader_runs.py --pages 500 [--site /tmp/site500] [--runs 3]
       [--cli build/bin/vellumark-cli] [--no-browser] [--browser-budget 600]
"""
import argparse
import glob
import os
import re
import shutil
import signal
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from gen_docs_site import DEFAULT_SEED, generate  # noqa: E402
from serve_folder import NginxServer  # noqa: E402

HEADLESS = {"QT_QPA_PLATFORM": "offscreen", "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu",
            "QTWEBENGINE_DISABLE_SANDBOX": "1"}
DONE = re.compile(r"Done\. Indexed (\d+) of (\d+) pages")


def wget_run(url):
    out = tempfile.mkdtemp(prefix="vm_wget_")
    try:
        start = time.monotonic()
        subprocess.run(["wget", "-q", "-r", "-l", "inf", "-np", "-P", out, url],
                       check=False)
        wall = time.monotonic() - start
        pages = len(glob.glob(os.path.join(out, "**", "*.html"), recursive=True))
        return {"wall": wall, "pages": pages}
    finally:
        shutil.rmtree(out, ignore_errors=True)


def postings(db):
    """The number of words recorded, over the location's word tables."""
    con = sqlite3.connect(f"file:{db}?mode=ro", uri=True)
    try:
        tables = [r[0] for r in con.execute(
            "SELECT name FROM sqlite_master WHERE type='table' AND name LIKE 'Words%'")]
        words = sum(con.execute(f"SELECT count(*) FROM {t}").fetchone()[0] for t in tables)
        return words
    finally:
        con.close()


def index_run(cli, url, loader, budget=None):
    home = tempfile.mkdtemp(prefix="vm_run_")
    env = dict(os.environ, **HEADLESS)
    try:
        subprocess.run([cli, "--home", home, "add", url, "Bench", "--loader", loader],
                       check=True, stdout=subprocess.DEVNULL, env=env)
        start = time.monotonic()
        proc = subprocess.Popen([cli, "--home", home, "index", "1", "--loader", loader,
                                 "--timings"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True, env=env)
        stopped = False
        try:
            _, err = proc.communicate(timeout=budget)
        except subprocess.TimeoutExpired:
            proc.send_signal(signal.SIGINT)  # Stop, confirmed: the run ends as after Stop
            stopped = True
            _, err = proc.communicate()
        wall = time.monotonic() - start
        m = DONE.search(err or "")
        if proc.returncode != 0 or not m:
            sys.exit(f"index with {loader} failed ({proc.returncode}):\n" + (err or "")[-2000:])
        indexed, queued = int(m.group(1)), int(m.group(2))
        return {"wall": wall, "pages": indexed, "of": queued, "stopped": stopped,
                "words": postings(os.path.join(home, "1", "Index.db")),
                "timings": (err.strip().splitlines() or [""])[-1]}
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--pages", type=int, default=500)
    ap.add_argument("--site", help="folder of the generated site (made when missing)")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--cli", default=os.path.join(HERE, "..", "..", "build", "bin",
                                                  "vellumark-cli"))
    ap.add_argument("--no-browser", action="store_true")
    ap.add_argument("--browser-budget", type=float, default=None,
                    help="seconds after which a browser run is stopped and extrapolated")
    args = ap.parse_args()

    site = args.site or os.path.join(tempfile.gettempdir(), f"vm_site{args.pages}")
    if not os.path.exists(os.path.join(site, "index.html")):
        n, total = generate(site, args.pages, DEFAULT_SEED)
        print(f"generated {site}: {n} pages, {total / 1048576:.1f} MiB")
    with NginxServer(site) as server:
        url = server.url + "index.html"
        print(f"site {site} at {url}")
        rows = {"wget": [], "fast": [], "browser": []}
        for r in range(args.runs):
            w = wget_run(url)
            rows["wget"].append(w)
            print(f"round {r + 1}: wget {w['wall']:.2f} s ({w['pages']} pages)", flush=True)
            f = index_run(args.cli, url, "fast")
            rows["fast"].append(f)
            print(f"round {r + 1}: fast {f['wall']:.2f} s ({f['pages']} of {f['of']} pages, "
                  f"{f['words']} words)  {f['timings']}", flush=True)
            if not args.no_browser:
                b = index_run(args.cli, url, "browser", args.browser_budget)
                if b["stopped"]:
                    b["estimate"] = b["wall"] * args.pages / max(1, b["pages"])
                rows["browser"].append(b)
                extra = (f", stopped: {args.pages} pages estimated at {b['estimate']:.1f} s"
                         if b["stopped"] else "")
                print(f"round {r + 1}: browser {b['wall']:.2f} s ({b['pages']} of {b['of']} "
                      f"pages, {b['words']} words{extra})  {b['timings']}", flush=True)
    med = {k: statistics.median(x.get("estimate", x["wall"]) for x in v)
           for k, v in rows.items() if v}
    print(f"\nmedians of {args.runs} ({args.pages} pages): wget {med['wget']:.2f} s, "
          f"fast {med['fast']:.2f} s = {med['fast'] / med['wget']:.2f} x wget", end="")
    if "browser" in med:
        est = " (estimated)" if any(x["stopped"] for x in rows["browser"]) else ""
        print(f", browser {med['browser']:.2f} s{est} = {med['browser'] / med['fast']:.1f} x "
              f"fast")
    else:
        print()


if __name__ == "__main__":
    main()
