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

  function closedDetails(el) {
    return el.tagName === 'DETAILS' && !el.open;
  }

  // A box that clips its content to (next to) nothing: a collapsed menu, or text kept for
  // screen readers only.
  function clipsAway(el) {
    const style = getComputedStyle(el);
    if (style.display === 'contents') return false;  // no box of its own
    if (style.overflowX === 'visible' && style.overflowY === 'visible') return false;
    const box = el.getBoundingClientRect();
    return box.width <= 1 || box.height <= 1;
  }

  // Whether the content of `el` is out of sight because of `el` or an element above it: a
  // clipping box of no size, or a closed <details> (whose summary alone shows). `cache` keeps
  // the answers of one walk over the document.
  function contentHidden(el, cache) {
    if (!el) return false;
    let answer = cache.get(el);
    if (answer !== undefined) return answer;
    const parent = el.parentElement;
    answer = contentHidden(parent, cache) || clipsAway(el) ||
        (parent !== null && closedDetails(parent) &&
         !(el.tagName === 'SUMMARY' && parent.querySelector(':scope > summary') === el));
    cache.set(el, answer);
    return answer;
  }

  // Text a reader can see: rendered (an element with display: none has no boxes), visible,
  // and not inside a closed <details> or a box that clips it away.
  function seen(textNode, cache) {
    if (!rendered(textNode)) return false;
    const parent = textNode.parentElement;
    if (!parent) return true;
    if (closedDetails(parent) || contentHidden(parent, cache)) return false;
    return getComputedStyle(parent).visibility === 'visible';
  }

  // The text inside range r that a reader can see, as a string with a map back to DOM points.
  // Text nodes out of sight are left out; a line break or a change of block adds one "\n" that
  // belongs to no node.
  function model(r) {
    const hiddenCache = new Map();
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
      if (hidden(n.parentElement) || !seen(n, hiddenCache)) continue;
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
    // Selects the range. With colours given ("#rrggbb"), the page shows every selection in
    // them, so that the found text stands out in the active colours even while another window
    // has the focus.
    select(id, background, color) {
      const colour = /^#[0-9a-fA-F]{6}$/;
      if (colour.test(background || '') && colour.test(color || '')) {
        let style = document.getElementById('__vmr_selection');
        if (!style) {
          style = document.createElement('style');
          style.id = '__vmr_selection';
          (document.head || document.documentElement).appendChild(style);
        }
        style.textContent = '::selection{background:' + background + ' !important;color:' +
            color + ' !important}';
      }
      const sel = window.getSelection();
      sel.removeAllRanges();
      sel.addRange(get(id).cloneRange());
      return true;
    },
    // Scrolls the range to the middle of the view. When a window covers the band of the view
    // from coverTop to coverBottom (CSS pixels from the view's top), the range goes to the
    // middle of the taller part left free, above or below it.
    scrollIntoView(id, coverTop, coverBottom) {
      const r = get(id);
      // Boxes that scroll on their own bring the text into their view first.
      const start = r.startContainer;
      const el = start.nodeType === Node.ELEMENT_NODE ? start : start.parentElement;
      if (el) el.scrollIntoView({block: 'nearest', inline: 'nearest'});
      const rect = r.getBoundingClientRect();
      const h = window.innerHeight;
      let top = 0;
      let bottom = h;
      if (coverBottom > coverTop && coverBottom > 0 && coverTop < h) {
        const above = Math.max(0, coverTop);
        const below = h - Math.min(h, coverBottom);
        if (below >= above) top = h - below;
        else bottom = above;
      }
      const y = window.scrollY + rect.top - (top + (bottom - top - rect.height) / 2);
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
