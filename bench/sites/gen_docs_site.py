#!/usr/bin/env python3
"""Writes a generated documentation-like web site into a folder, for indexing benchmarks.

Every page is static HTML of 80-120 KB: English-like text in headings, paragraphs with inline
markup, lists, tables and pre blocks; one shared stylesheet and two shared scripts (which change
no text, so a browser and a plain HTML parser see the same words); a top navigation bar to every
section, a side bar with the page's place in the section tree (breadcrumbs, sibling pages, child
sections), previous/next links and cross-references into other sections.

The site is a tree: index.html at the root, top sections and their subsections as folders with an
index.html each, content pages as leaves. Every page is reachable from the root, so
`wget -r -l inf -np http://HOST/` and an index of the root address both find all of them.

The output depends only on --pages and --seed (same arguments, same bytes).

Usage: bench/sites/gen_docs_site.py --pages 500 --out /tmp/site500 [--seed 20261208]
"""
import argparse
import math
import os
import random
import shutil
import sys

DEFAULT_SEED = 20261208
MIN_BYTES = 80 * 1024
MAX_BYTES = 120 * 1024

# Frequent English words give the text an English shape; generated words add the long tail of a
# technical vocabulary so that word lists and postings grow as on a real site.
COMMON = """the of and to a in is that for it as with was on be by this are or from at which an
have not but can all they one you has were their more there will would when been if what so no
its out about into than them only other some these then two also time could may any first new
after most use each how where should over such file data system user value option page set
example server client request response default command section function module table list line
text number name path directory type error message version configuration program input output
key field record string object method class return parameter argument call process thread memory
buffer stream socket network address port host connection protocol header body query index
search word document term result order size length limit range start end begin stop run build
install package library source change update remove create open close read write load save copy
move check test case note warning see also following below above within without between before
during under while because however therefore instead whether either neither both many much every
another same different small large long short simple complex common specific general local
global public private internal external current previous next last early late often usually
always never sometimes rather quite very still already just even well back down up here make
take give find keep show turn bring begin seem help talk need want know think come look go work
feel leave put mean let tell follow provide allow include consider appear expect continue
describe require support report define explain handle manage store select match replace""".split()

SYLLABLES = ("ba be bi bo bu ca ce co cu da de di do fa fe fi fo ga ge go ha he hi ho ka ke ki "
             "ko la le li lo lu ma me mi mo mu na ne ni no nu pa pe pi po pu ra re ri ro ru sa "
             "se si so su ta te ti to tu va ve vi vo za ze zo ar er ir or ur an en in on un al el "
             "il ol st str tr pr pl br cr gr fl th sh ch").split()
ENDINGS = "ing ed er ion ment ness ous ive able al ly ate ize s es".split()

STYLESHEET = """/* Shared stylesheet of the generated documentation site. */
body { font-family: sans-serif; margin: 0; color: #222; line-height: 1.5; }
header.top { background: #234; padding: 0.5em 1em; }
header.top a { color: #fff; margin-right: 1em; text-decoration: none; }
nav.side { float: left; width: 16em; padding: 1em; font-size: 90%; }
nav.side ul { list-style: none; padding-left: 1em; }
main { margin-left: 18em; padding: 1em 2em; max-width: 60em; }
pre { background: #f4f4f4; padding: 0.5em; overflow-x: auto; }
code { background: #f4f4f4; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.6em; text-align: left; }
.breadcrumbs { font-size: 90%; color: #555; }
.current { font-weight: bold; }
footer { clear: both; border-top: 1px solid #ccc; padding: 1em; font-size: 90%; }
"""

# The scripts change classes and listen for events; they write no text, like most scripts on
# documentation sites.
NAV_SCRIPT = """// Marks the side bar entry of the current page.
document.addEventListener('DOMContentLoaded', function () {
  var here = location.pathname.split('/').pop() || 'index.html';
  document.querySelectorAll('nav.side a').forEach(function (a) {
    if (a.getAttribute('href') === here) a.classList.add('current');
  });
});
"""
SEARCH_SCRIPT = """// Focuses the search box on '/' and keeps the last query in session storage.
document.addEventListener('keydown', function (e) {
  var box = document.getElementById('q');
  if (e.key === '/' && box && document.activeElement !== box) { e.preventDefault(); box.focus(); }
});
window.addEventListener('pagehide', function () {
  var box = document.getElementById('q');
  if (box) { try { sessionStorage.setItem('q', box.value); } catch (err) {} }
});
"""


class Text:
    """English-like words, sentences and paragraphs from one random generator."""

    def __init__(self, rng):
        self.rng = rng
        tail = set()
        while len(tail) < 5000:
            n = rng.choice((2, 2, 3, 3, 3, 4))
            word = "".join(rng.choice(SYLLABLES) for _ in range(n))
            if rng.random() < 0.3:
                word += rng.choice(ENDINGS)
            tail.add(word)
        common = list(dict.fromkeys(COMMON))
        self.words = common + sorted(tail - set(common))
        # Zipf-like frequencies: the common words come first and are the most frequent.
        weights = [1.0 / (i + 8) for i in range(len(self.words))]
        self.cum = []
        total = 0.0
        for w in weights:
            total += w
            self.cum.append(total)
        self.tail = sorted(tail)

    def words_(self, k):
        return self.rng.choices(self.words, cum_weights=self.cum, k=k)

    def term(self):
        return self.rng.choice(self.tail)

    def identifier(self):
        a, b = self.rng.choice(self.tail), self.rng.choice(self.tail)
        return self.rng.choice((f"{a}_{b}", f"{a}{b.capitalize()}", f"{a}.{b}", a))

    def sentence(self, lo=6, hi=22):
        ws = self.words_(self.rng.randint(lo, hi))
        if len(ws) > 8 and self.rng.random() < 0.4:
            ws[self.rng.randint(3, len(ws) - 3)] += ","
        return " ".join(ws).capitalize() + self.rng.choice("....?!")

    def title(self, lo=2, hi=6):
        return " ".join(self.words_(self.rng.randint(lo, hi))).capitalize()

    def paragraph(self, links):
        """A paragraph with inline markup; links is a list of (href, label) to spend from."""
        rng = self.rng
        parts = []
        for _ in range(rng.randint(3, 9)):
            s = self.sentence()
            r = rng.random()
            if r < 0.15:
                s += f" Use <code>{self.identifier()}</code> for this."
            elif r < 0.25:
                s += f" This is <em>{' '.join(self.words_(2))}</em> by design."
            elif r < 0.32:
                s += f" <strong>{self.title(1, 3)}</strong> matters &amp; stays."
            elif r < 0.42 and links:
                href, label = links.pop()
                s += f' See <a href="{href}">{label}</a>.'
            parts.append(s)
        return "<p>" + " ".join(parts) + "</p>\n"

    def list_(self):
        tag = self.rng.choice(("ul", "ol"))
        items = "".join(f"<li>{self.sentence(3, 12)}</li>\n"
                        for _ in range(self.rng.randint(3, 8)))
        return f"<{tag}>\n{items}</{tag}>\n"

    def table(self):
        cols = self.rng.randint(2, 5)
        head = "".join(f"<th>{self.title(1, 2)}</th>" for _ in range(cols))
        rows = []
        for _ in range(self.rng.randint(3, 10)):
            cells = [f"<td><code>{self.identifier()}</code></td>"]
            cells += [f"<td>{' '.join(self.words_(self.rng.randint(1, 6)))}</td>"
                      for _ in range(cols - 1)]
            rows.append("<tr>" + "".join(cells) + "</tr>\n")
        return f"<table>\n<thead><tr>{head}</tr></thead>\n<tbody>\n{''.join(rows)}</tbody>\n</table>\n"

    def pre(self):
        rng = self.rng
        lines = []
        for _ in range(rng.randint(3, 14)):
            ind = "    " * rng.randint(0, 2)
            r = rng.random()
            if r < 0.3:
                lines.append(f"{ind}{self.identifier()} = {self.term()}({self.identifier()}, "
                             f"{rng.randint(0, 999)});")
            elif r < 0.5:
                lines.append(f"{ind}if ({self.term()} &lt; {rng.randint(1, 64)} &amp;&amp; "
                             f"{self.term()}) {{")
            elif r < 0.7:
                lines.append(f"{ind}// {' '.join(self.words_(rng.randint(3, 9)))}")
            else:
                lines.append(f"{ind}$ {self.term()} --{self.term()} {self.identifier()}")
        return "<pre><code>" + "\n".join(lines) + "</code></pre>\n"


def build_tree(pages, rng, text):
    """Returns the pages in site order: dicts with path, title, parent index, children."""
    top = max(2, round(pages ** (1 / 3)))
    sub = top
    n_index = 1 + top + top * sub
    if n_index > pages:  # small sites: fewer subsections
        sub = max(0, (pages - 1 - top) // top)
        top = min(top, pages - 1)
        n_index = 1 + top + top * sub
    leaves = pages - n_index
    nodes = [{"path": "index.html", "title": "Documentation", "parent": None, "kids": []}]

    def add(path, title, parent):
        nodes.append({"path": path, "title": title, "parent": parent, "kids": []})
        nodes[parent]["kids"].append(len(nodes) - 1)
        return len(nodes) - 1

    slug_seen = set()

    def slug():
        while True:
            s = "-".join(text.rng.sample(text.tail, 2))
            if s not in slug_seen:
                slug_seen.add(s)
                return s

    containers = []
    for t in range(top):
        ts = f"{t + 1:02d}-{slug()}"
        ti = add(f"{ts}/index.html", text.title(1, 3), 0)
        if sub == 0:
            containers.append((ti, ts))
        for s in range(sub):
            ss = f"{ts}/{s + 1:02d}-{slug()}"
            containers.append((add(f"{ss}/index.html", text.title(1, 4), ti), ss))
    # Leaves spread over the subsections, a few more in some than in others.
    share = [rng.uniform(0.5, 1.5) for _ in containers]
    total = sum(share)
    counts = [int(leaves * x / total) for x in share]
    for i in range(leaves - sum(counts)):
        counts[i % len(counts)] += 1
    for (ci, folder), n in zip(containers, counts):
        for _ in range(n):
            add(f"{folder}/{slug()}.html", text.title(2, 6), ci)
    # Site order: depth first, so that previous/next walk the tree like a book.
    order = []

    def walk(i):
        order.append(i)
        for k in nodes[i]["kids"]:
            walk(k)

    walk(0)
    return nodes, order


def rel(from_path, to_path):
    return os.path.relpath(to_path, os.path.dirname(from_path) or ".").replace(os.sep, "/")


def render(nodes, order, pos, text, target_bytes):
    rng = text.rng
    i = order[pos]
    node = nodes[i]
    path = node["path"]
    depth = path.count("/")
    static = "../" * depth + "static/"
    top_nav = " ".join(f'<a href="{rel(path, nodes[t]["path"])}">{nodes[t]["title"]}</a>'
                       for t in nodes[0]["kids"])
    crumbs = []
    p = node["parent"]
    while p is not None:
        crumbs.append(f'<a href="{rel(path, nodes[p]["path"])}">{nodes[p]["title"]}</a>')
        p = nodes[p]["parent"]
    crumbs = " &rsaquo; ".join(reversed(crumbs))
    side = []
    parent = node["parent"]
    siblings = nodes[parent]["kids"] if parent is not None else []
    for s in siblings:
        side.append(f'<li><a href="{rel(path, nodes[s]["path"])}">{nodes[s]["title"]}</a></li>')
    kids = "".join(f'<li><a href="{rel(path, nodes[k]["path"])}">{nodes[k]["title"]}</a></li>'
                   for k in node["kids"])
    prev_next = ""
    if pos > 0:
        prev_next += f'<a href="{rel(path, nodes[order[pos - 1]]["path"])}">Previous</a> '
    if pos + 1 < len(order):
        prev_next += f'<a href="{rel(path, nodes[order[pos + 1]]["path"])}">Next</a>'
    cross = [(rel(path, nodes[j]["path"]), nodes[j]["title"])
             for j in rng.sample(range(len(nodes)), min(len(nodes), rng.randint(5, 15)))]

    head = (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f'<title>{node["title"]} - Documentation</title>\n'
            f'<link rel="stylesheet" href="{static}style.css">\n'
            f'<script src="{static}nav.js"></script>\n'
            f'<script src="{static}search.js" defer></script>\n</head>\n<body>\n'
            f'<header class="top"><a href="{rel(path, "index.html")}">Home</a> {top_nav}\n'
            f'<form><input id="q" name="q" placeholder="Search"></form></header>\n'
            f'<nav class="side">\n<div class="breadcrumbs">{crumbs}</div>\n'
            f'<ul>\n{"".join(side)}</ul>\n</nav>\n<main>\n<h1>{node["title"]}</h1>\n')
    if kids:
        head += f"<h2>In this section</h2>\n<ul>\n{kids}</ul>\n"
    tail = f"</main>\n<footer>{prev_next}</footer>\n</body>\n</html>\n"
    body = []
    size = len(head) + len(tail)
    while size < target_bytes:
        block = [f"<h2>{text.title()}</h2>\n"]
        for _ in range(rng.randint(2, 6)):
            r = rng.random()
            if r < 0.55:
                block.append(text.paragraph(cross))
            elif r < 0.7:
                block.append(text.list_())
            elif r < 0.82:
                block.append(text.pre())
            elif r < 0.92:
                block.append(text.table())
            else:
                block.append(f"<h3>{text.title()}</h3>\n")
        chunk = "".join(block)
        if size + len(chunk) > MAX_BYTES - 512:
            break
        body.append(chunk)
        size += len(chunk)
    while size < MIN_BYTES:  # a last short paragraph when a large block did not fit
        chunk = text.paragraph([])
        body.append(chunk)
        size += len(chunk)
    return head + "".join(body) + tail


def generate(out, pages, seed):
    rng = random.Random(seed)
    text = Text(rng)
    nodes, order = build_tree(pages, rng, text)
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(os.path.join(out, "static"))
    for name, content in (("style.css", STYLESHEET), ("nav.js", NAV_SCRIPT),
                          ("search.js", SEARCH_SCRIPT)):
        with open(os.path.join(out, "static", name), "w") as f:
            f.write(content)
    with open(os.path.join(out, "robots.txt"), "w") as f:
        f.write("User-agent: *\nDisallow:\n")
    total = 0
    for pos in range(len(order)):
        target = rng.randint(MIN_BYTES, MAX_BYTES)
        html = render(nodes, order, pos, text, target)
        data = html.encode("utf-8")
        total += len(data)
        full = os.path.join(out, nodes[order[pos]]["path"])
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
    return len(order), total


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--pages", type=int, default=500)
    ap.add_argument("--seed", type=int, default=DEFAULT_SEED)
    ap.add_argument("--out", required=True, help="folder to write (replaced if it exists)")
    args = ap.parse_args()
    if args.pages < 2:
        sys.exit("--pages must be at least 2")
    n, total = generate(args.out, args.pages, args.seed)
    print(f"{args.out}: {n} pages, {total / 1024 / 1024:.1f} MiB of HTML, "
          f"mean {total / n / 1024:.1f} KiB per page")


if __name__ == "__main__":
    main()
