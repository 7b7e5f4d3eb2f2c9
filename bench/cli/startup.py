#!/usr/bin/env python3
"""Whole-process time of `vellumark-cli search` and `vellumark-cli locations` on an index of a
generated site (500 pages by default), for one or more builds of the tool side by side, with
hyperfine: the median wall time of N runs and the mean CPU time (user + system, steadier on a
busy machine), each with its ratio to the first build named.

The index is built once, by the first tool named, from the site of bench/indexer/index_site.py
served on 127.0.0.1, into a program folder that every tool then reads (--home); --home DIR
keeps and reuses one.

Usage: bench/cli/startup.py [--pages 500] [--runs 10] [--home DIR] CLI [CLI ...]
  e.g. bench/cli/startup.py /work/baseline-build/bin/vellumark-cli build/bin/vellumark-cli
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "indexer"))
import index_site  # noqa: E402  (the site generator and server of the indexing benchmark)

def build_index(cli, home, pages):
    site = index_site.generate_site(pages)
    server = index_site.serve(site)
    origin = f"http://127.0.0.1:{server.server_address[1]}"
    try:
        subprocess.run([cli, "--home", home, "add", origin + "/docs/", "Bench"], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([cli, "--home", home, "index", "1"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    finally:
        server.shutdown()


def most_frequent_word():
    # The generator draws words Zipf-like from its sorted vocabulary: the first is the most
    # frequent one.
    return index_site.make_vocabulary(random.Random(index_site.SEED))[0]


def measure(cli, home, args, runs):
    """The median wall time and the mean CPU time (user + system) of a run, in ms."""
    out = tempfile.NamedTemporaryFile(suffix=".json", delete=False).name
    try:
        subprocess.run(["hyperfine", "--runs", str(runs), "--warmup", "2", "--style", "none",
                        "--export-json", out, " ".join([cli, "--home", home] + args)],
                       check=True, stdout=subprocess.DEVNULL)
        with open(out) as f:
            result = json.load(f)["results"][0]
        return result["median"] * 1000, (result["user"] + result["system"]) * 1000
    finally:
        os.unlink(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--pages", type=int, default=500)
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--home", help="program folder to keep (and reuse when it holds an index)")
    ap.add_argument("cli", nargs="+")
    args = ap.parse_args()

    home = (os.path.abspath(args.home) if args.home else tempfile.mkdtemp(prefix="vm_startup_"))
    home += "/"
    try:
        if not os.path.exists(os.path.join(home, "1", "Index.db")):
            os.makedirs(home, exist_ok=True)
            build_index(args.cli[0], home, args.pages)
        sample = most_frequent_word()
        listed = subprocess.run([args.cli[0], "--home", home, "search", "--location", "1", sample],
                                check=True, capture_output=True, text=True).stdout.count("\n")
        print(f"index: {home} ({args.pages} pages); sample '{sample}' lists {listed} pages")
        commands = {"search": ["search", "--location", "1", sample], "locations": ["locations"]}
        for name, command in commands.items():
            first = None
            for cli in args.cli:
                wall, cpu = measure(cli, home, command, args.runs)
                first = first or (wall, cpu)
                print(f"{name:9s} wall median {wall:7.1f} ms  x{wall / first[0]:5.2f}   "
                      f"cpu mean {cpu:7.1f} ms  x{cpu / first[1]:5.2f}   {cli}")
    finally:
        if not args.home:
            shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
