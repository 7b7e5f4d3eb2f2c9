// Classic document text ranges kept over DOM Ranges. The program reaches a range by its number;
// every member answers with plain values so that the answer can cross into the program.
// Runs in the program's own script world, so page scripts can neither see nor change it.
(function () {
  'use strict';
  if (window.__vmr) return;

  // Range names carry a key of this document, so a name from an earlier document never
  // finds a range of this one.
  const key = Math.random().toString(36).slice(2);
  const ranges = new Map();
  let next = 1;

  function get(id) {
    const r = ranges.get(id);
    if (!r) throw new Error('unknown text range ' + id);
    return r;
  }

  function bodyOf() {
    return document.body || document.documentElement;
  }

  function hidden(el) {
    for (; el; el = el.parentElement) {
      const tag = el.tagName;
      if (tag === 'SCRIPT' || tag === 'STYLE' || tag === 'NOSCRIPT' || tag === 'TEMPLATE' ||
          tag === 'HEAD') {
        return true;
      }
    }
    return false;
  }

  const blockCache = new Map();
  function blockOf(node) {
    let el = node.nodeType === Node.ELEMENT_NODE ? node : node.parentElement;
    for (; el; el = el.parentElement) {
      let isBlock = blockCache.get(el);
      if (isBlock === undefined) {
        const d = getComputedStyle(el).display;
        isBlock = !(d.startsWith('inline') || d === 'contents');
        blockCache.set(el, isBlock);
      }
      if (isBlock) return el;
    }
    return null;
  }

  function rendered(textNode) {
    if (!textNode.data.length) return false;
    const probe = document.createRange();
    probe.selectNodeContents(textNode);
    return probe.getClientRects().length > 0;
  }

  // The rendered text inside range r as a string with a map back to DOM points. Text nodes
  // that are not rendered are left out; a line break or a change of block adds one "\n" that
  // belongs to no node.
  function model(r) {
    const chars = [];
    const nodes = [];
    const offsets = [];
    const root = bodyOf();
    const walker = document.createTreeWalker(root, NodeFilter.SHOW_TEXT | NodeFilter.SHOW_ELEMENT);
    let lastBlock;
    let pendingBreak = false;
    for (let n = walker.currentNode; n; n = walker.nextNode()) {
      if (!r.intersectsNode(n)) continue;
      if (n.nodeType === Node.ELEMENT_NODE) {
        if (n.tagName === 'BR') pendingBreak = true;
        continue;
      }
      if (hidden(n.parentElement) || !rendered(n)) continue;
      let from = 0;
      let to = n.data.length;
      if (n === r.startContainer) from = r.startOffset;
      if (n === r.endContainer) to = r.endOffset;
      if (from >= to) continue;
      const block = blockOf(n);
      if (chars.length && (pendingBreak || block !== lastBlock)) {
        chars.push('\n');
        nodes.push(null);
        offsets.push(0);
      }
      pendingBreak = false;
      lastBlock = block;
      for (let i = from; i < to; ++i) {
        chars.push(n.data[i]);
        nodes.push(n);
        offsets.push(i);
      }
    }
    return {text: chars.join(''), chars, nodes, offsets};
  }

  function whole(r) {
    const b = bodyOf();
    return r.startContainer === b && r.startOffset === 0 && r.endContainer === b &&
        r.endOffset === b.childNodes.length;
  }

  function isSpace(c) {
    return c === ' ' || c === '\n' || c === '\t' || c === '\r' || c === '\f' || c === '\u00a0';
  }

  function lower(c) {
    const l = c.toLowerCase();
    return l.length === 1 ? l : c;
  }

  // Letter case is ignored and every run of white space matches one blank.
  function fold(chars) {
    const out = [];
    const index = [];
    for (let i = 0; i < chars.length; ++i) {
      if (isSpace(chars[i])) {
        if (out.length && out[out.length - 1] === ' ') continue;
        out.push(' ');
      } else {
        out.push(lower(chars[i]));
      }
      index.push(i);
    }
    return {text: out.join(''), index};
  }

  function point(r, how, first) {
    const start = first ? how.startsWith('Start') : how.endsWith('Start');
    return start ? [r.startContainer, r.startOffset] : [r.endContainer, r.endOffset];
  }

  function compare(a, b) {
    if (a[0] === b[0] && a[1] === b[1]) return 0;
    const at = document.createRange();
    at.setStart(a[0], a[1]);
    // comparePoint: -1 when b lies before the collapsed range at a.
    return -at.comparePoint(b[0], b[1]);
  }

  function checkHow(how) {
    if (how !== 'StartToEnd' && how !== 'StartToStart' && how !== 'EndToEnd' &&
        how !== 'EndToStart') {
      throw new Error('bad end point ' + how);
    }
  }

  window.__vmr = {
    body() {
      const r = document.createRange();
      r.selectNodeContents(bodyOf());
      const id = key + '/' + next++;
      ranges.set(id, r);
      return id;
    },
    free(id) {
      ranges.delete(id);
      return true;
    },
    text(id) {
      const r = get(id);
      if (whole(r)) return bodyOf().innerText;
      return model(r).text;
    },
    setEndPoint(id, how, otherId) {
      checkHow(how);
      const r = get(id);
      const p = point(get(otherId), how, false);
      // A DOM range collapses onto the end that moved when its ends would cross.
      if (how.startsWith('Start')) r.setStart(p[0], p[1]);
      else r.setEnd(p[0], p[1]);
      return true;
    },
    findText(id, needle) {
      const r = get(id);
      const want = fold(Array.from(String(needle))).text.replace(/^ | $/g, '');
      if (!want.length) return false;
      const m = model(r);
      const hay = fold(m.chars);
      const at = hay.text.indexOf(want);
      if (at < 0) return false;
      let first = hay.index[at];
      let last = hay.index[at + want.length - 1];
      while (first <= last && m.nodes[first] === null) ++first;
      while (last >= first && m.nodes[last] === null) --last;
      if (first > last) return false;
      r.setStart(m.nodes[first], m.offsets[first]);
      r.setEnd(m.nodes[last], m.offsets[last] + 1);
      return true;
    },
    compareEndPoints(id, how, otherId) {
      checkHow(how);
      return compare(point(get(id), how, true), point(get(otherId), how, false));
    },
    select(id) {
      const sel = window.getSelection();
      sel.removeAllRanges();
      sel.addRange(get(id).cloneRange());
      return true;
    },
    scrollIntoView(id) {
      const rect = get(id).getBoundingClientRect();
      const y = window.scrollY + rect.top - window.innerHeight / 3;
      const x = rect.left < 0 || rect.right > window.innerWidth ? window.scrollX + rect.left - 20
                                                                : window.scrollX;
      window.scrollTo(Math.max(0, x), Math.max(0, y));
      return true;
    },
    links() {
      return Array.from(document.links, a => a.href);
    },
    title() {
      return document.title;
    },
  };
})();
