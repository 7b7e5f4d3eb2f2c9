#!/usr/bin/env python3
"""Whole-process search benchmark: `vellumark-cli search` beside htsearch (ht://Dig) on one site.

Generates the indexing benchmark's documentation site (bench/indexer/index_site.py, fixed seed),
serves it on 127.0.0.1 and indexes it twice: with `vellumark-cli index` (the offscreen browser)
and with htdig + htpurge. Then ten samples are timed with hyperfine (medians of --runs runs each):

  vellumark-cli search [--mode all|exact] SAMPLE    this build, and a baseline build if given
  htsearch as a CGI program: REQUEST_METHOD=GET, QUERY_STRING=config=...&words=...&method=or|and

htsearch reads its configuration from /etc/htdig when it runs as a CGI program, so the script
writes /etc/htdig/vellumark-bench.conf for the run and removes it afterwards (without write
access there it runs htsearch with -c and the query string as its argument instead). Every
program is started through `env`, so each pays the same exec overhead. htsearch is asked for
every match on one page (matchesperpage=1000), as vellumark lists every match up to 1,000.

With --bench (search_bench of this build) and --baseline-bench, the in-process time of the
command-line tool's search path is measured too (BM_CliSearchPath over the same index).

Reported per program: the median over the samples of each sample's median, and the ratios.

Usage:
  bench/search/cli_search.py [--cli build/bin/vellumark-cli] [--baseline-cli PATH]
      [--bench build/bin/search_bench] [--baseline-bench PATH] [--pages 500] [--runs 10]
      [--work DIR]
--work keeps the site's indexes in DIR and reuses them on the next run (no server needed then).
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "indexer"))
import index_site  # noqa: E402

HTSEARCH = "/usr/lib/cgi-bin/htsearch"
HTDIG_CONFIG_DIR = "/etc/htdig"
CONFIG_NAME = "vellumark-bench"


def samples():
    """Ten samples from the site's vocabulary (index 0 is its most frequent word), words of three
    letters or more, the shortest that htdig indexes by default."""
    vocab = index_site.make_vocabulary(random.Random(index_site.SEED))
    w = lambda i: next(v for v in vocab[i:] if len(v) >= 3)  # noqa: E731
    return [
        ("any", w(0)), ("any", w(10)), ("any", w(100)), ("any", w(1000)), ("any", w(4000)),
        ("any", f"{w(30)} {w(300)} {w(3000)}"), ("all", f"{w(5)} {w(50)}"),
        ("all", f"{w(20)} {w(200)} {w(500)}"), ("exact", w(40)), ("exact", w(2000)),
    ]


def build_indexes(work, cli, pages):
    site = index_site.generate_site(pages)
    server = index_site.serve(site)
    origin = f"http://127.0.0.1:{server.server_address[1]}"
    try:
        home = os.path.join(work, "home")
        os.makedirs(home)
        subprocess.run([cli, "--home", home, "add", origin + "/docs/", "Bench"], check=True,
                       stdout=subprocess.DEVNULL)
        print(f"indexing {len(site)} pages with vellumark-cli ...", flush=True)
        subprocess.run([cli, "--home", home, "index", "1"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.makedirs(os.path.join(work, "htdig"))
        with open(os.path.join(work, "htdig.conf"), "w") as f:
            f.write(f"database_dir: {os.path.join(work, 'htdig')}\n"
                    f"start_url: {origin}/docs/\n"
                    "limit_urls_to: ${start_url}\n"
                    "common_url_parts: ${limit_urls_to} .html\n"
                    "maintainer: bench@localhost\n"
                    "max_doc_size: 2000000\n"
                    "search_algorithm: exact:1\n")
        conf = os.path.join(work, "htdig.conf")
        print("indexing with htdig ...", flush=True)
        subprocess.run(["htdig", "-i", "-c", conf], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["htpurge", "-c", conf], check=True, stdout=subprocess.DEVNULL)
        open(os.path.join(work, "complete"), "w").close()
    finally:
        server.shutdown()


def hyperfine(commands, runs):
    """Median seconds of each command (a list of argument lists), timed by hyperfine."""
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        cmd = ["hyperfine", "--shell=none", "--runs", str(runs), "--warmup", "2",
               "--style", "none", "--export-json", out.name]
        cmd += [" ".join(_quote(a) for a in c) for c in commands]
        # hyperfine's notes on outliers and caches go to stderr, shown only when it fails.
        proc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if proc.returncode != 0:
            sys.exit("hyperfine failed:\n" + proc.stderr[-2000:])
        return [r["median"] for r in json.load(open(out.name))["results"]]


def _quote(arg):
    return "'" + arg.replace("'", "'\\''") + "'" if any(c in arg for c in " &'\"") else arg


def cli_path(bench, home, sample_file):
    """In-process medians (seconds) of BM_CliSearchPath per sample."""
    proc = subprocess.run([bench, f"--cli-home={home}", f"--cli-samples={sample_file}",
                           "--benchmark_format=json"], check=True, capture_output=True, text=True)
    rows = json.loads(proc.stdout)["benchmarks"]
    return [r["real_time"] / 1000 for r in rows if r.get("aggregate_name") == "median"]


def main():
    root = os.path.join(HERE, "..", "..")
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--cli", default=os.path.join(root, "build", "bin", "vellumark-cli"))
    ap.add_argument("--baseline-cli")
    ap.add_argument("--bench", default=os.path.join(root, "build", "bin", "search_bench"))
    ap.add_argument("--baseline-bench")
    ap.add_argument("--pages", type=int, default=500)
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--work")
    args = ap.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="vm_cli_search_")
    os.makedirs(work, exist_ok=True)
    if not os.path.exists(os.path.join(work, "complete")):
        for name in ("home", "htdig"):
            shutil.rmtree(os.path.join(work, name), ignore_errors=True)
        build_indexes(work, os.path.abspath(args.cli), args.pages)
    home = os.path.join(work, "home")
    conf = os.path.join(work, "htdig.conf")

    # htsearch as a CGI program finds its configuration by name in its own folder.
    cgi_conf = os.path.join(HTDIG_CONFIG_DIR, CONFIG_NAME + ".conf")
    as_cgi = os.access(HTDIG_CONFIG_DIR, os.W_OK)
    if as_cgi:
        shutil.copyfile(conf, cgi_conf)
    else:
        print(f"note: {HTDIG_CONFIG_DIR} is not writable; htsearch runs with -c instead")

    programs = [("vellumark-cli", os.path.abspath(args.cli))]
    if args.baseline_cli:
        programs.append(("baseline vellumark-cli", os.path.abspath(args.baseline_cli)))
    names = [p[0] for p in programs] + ["htsearch"]
    medians = {n: [] for n in names}
    try:
        for mode, sample in samples():
            query = urllib.parse.urlencode({
                "config": CONFIG_NAME, "words": sample, "method": "and" if mode != "any" else "or",
                "matchesperpage": "1000"})
            commands = [["env", cli, "--home", home, "search", "--mode", mode, sample]
                        for _, cli in programs]
            if as_cgi:
                commands.append(["env", "REQUEST_METHOD=GET", "QUERY_STRING=" + query, HTSEARCH])
            else:
                commands.append(["env", HTSEARCH, "-c", conf, query])
            times = hyperfine(commands, args.runs)
            print(f"{mode:5s} {sample[:40]:40s} " +
                  "  ".join(f"{n} {t * 1000:7.1f} ms" for n, t in zip(names, times)), flush=True)
            for n, t in zip(names, times):
                medians[n].append(t)
    finally:
        if as_cgi and os.path.exists(cgi_conf):
            os.remove(cgi_conf)

    print(f"\nwhole process, median over {len(samples())} samples of the medians of "
          f"{args.runs} runs:")
    overall = {n: statistics.median(medians[n]) for n in names}
    for n in names:
        line = f"  {n:24s} {overall[n] * 1000:7.1f} ms"
        if n != "htsearch":
            line += f"   {overall[n] / overall['htsearch']:.2f} x htsearch"
        print(line)
    if args.baseline_cli:
        print(f"  vellumark-cli / baseline: "
              f"{overall['vellumark-cli'] / overall['baseline vellumark-cli']:.2f}")

    benches = [("this build", args.bench), ("baseline", args.baseline_bench)]
    benches = [(n, b) for n, b in benches if b and os.path.exists(b)]
    if benches:
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            for mode, sample in samples():
                f.write(f"{mode}\t{sample}\n")
            sample_file = f.name
        print("\nin-process search path of vellumark-cli (search_bench BM_CliSearchPath), "
              "median over the samples:")
        results = {}
        for n, b in benches:
            results[n] = statistics.median(cli_path(os.path.abspath(b), home, sample_file))
            print(f"  {n:24s} {results[n] * 1000:7.2f} ms")
        if len(results) == 2:
            print(f"  this build / baseline: {results['this build'] / results['baseline']:.2f}")
        os.remove(sample_file)
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
