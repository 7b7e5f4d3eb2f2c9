#include "indexer/html_page.h"

#include <gumbo.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <optional>

#include "indexer/html_charset.h"
#include "indexer/link_url.h"
#include "util/utf8.h"

namespace vellumark {

namespace {

using Clock = std::chrono::steady_clock;

// Every block the parser allocates, so that a parse given up half-way frees all it took, and
// a finished one is freed in one sweep instead of the parser's own (recursive) walk.
class GumboArena final {
 public:
  explicit GumboArena(Clock::time_point deadline) : deadline_(deadline) {
    head_.prev = head_.next = &head_;
  }
  ~GumboArena() {
    for (Header* h = head_.next; h != &head_;) {
      Header* next = h->next;
      std::free(h);
      h = next;
    }
  }
  GumboArena(const GumboArena&) = delete;
  GumboArena& operator=(const GumboArena&) = delete;

  static void* Allocate(void* self, std::size_t size) {
    auto& arena = *static_cast<GumboArena*>(self);
    // The clock is read now and then; the parser allocates for nearly every token.
    if ((++arena.count_ & 63) == 0 && Clock::now() > arena.deadline_) {
      std::longjmp(arena.jump, 1);
    }
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!h) std::longjmp(arena.jump, 2);
    h->prev = &arena.head_;
    h->next = arena.head_.next;
    arena.head_.next->prev = h;
    arena.head_.next = h;
    return h + 1;
  }
  static void Deallocate(void*, void* p) {
    if (!p) return;
    Header* h = static_cast<Header*>(p) - 1;
    h->prev->next = h->next;
    h->next->prev = h->prev;
    std::free(h);
  }

  std::jmp_buf jump;  // where a parse that runs out of time or memory returns to

 private:
  struct alignas(16) Header {
    Header* prev;
    Header* next;
  };
  Header head_;
  unsigned count_ = 0;
  Clock::time_point deadline_;
};

// The parse, or nullptr when the arena gave up on it. Nothing here needs unwinding.
GumboOutput* ParseInArena(GumboArena& arena, const GumboOptions& options, const std::string& text) {
  if (setjmp(arena.jump) != 0) return nullptr;
  return gumbo_parse_with_options(&options, text.data(), text.size());
}

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsHtmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsHtmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

const GumboNode* Child(const GumboNode* node, unsigned i) {
  return static_cast<const GumboNode*>(node->v.element.children.data[i]);
}

unsigned ChildCount(const GumboNode* node) {
  return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE ||
                 node->type == GUMBO_NODE_DOCUMENT
             ? node->v.element.children.length
             : 0;
}

bool IsElement(const GumboNode* node) { return node->type == GUMBO_NODE_ELEMENT; }

bool IsHtml(const GumboNode* node, GumboTag tag) {
  return IsElement(node) && node->v.element.tag == tag &&
         node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

const char* Attr(const GumboNode* node, const char* name) {
  const GumboAttribute* a = gumbo_get_attribute(&node->v.element.attributes, name);
  return a ? a->value : nullptr;
}

// The element's name in lower case, also for the names the parser has no number for.
std::string NameOf(const GumboNode* node) {
  const GumboElement& e = node->v.element;
  if (e.tag != GUMBO_TAG_UNKNOWN) return LowerAscii(gumbo_normalized_tagname(e.tag));
  GumboStringPiece piece = e.original_tag;
  gumbo_tag_from_original_text(&piece);
  return LowerAscii(std::string_view(piece.data, piece.length));
}

// Stretches of the source that a browser running scripts reads as the plain text of a
// <noscript> in the head, where this parser (which runs no scripts) reads markup and, at the
// first element a head may not hold, closes the <noscript> and goes on into the body.
class ScriptedNoscript final {
 public:
  ScriptedNoscript(const GumboOutput* output, std::string_view source) {
    const GumboNode* head = nullptr;
    for (unsigned i = 0; i < ChildCount(output->root); ++i) {
      if (IsHtml(Child(output->root, i), GUMBO_TAG_HEAD)) head = Child(output->root, i);
    }
    if (!head) return;
    for (unsigned i = 0; i < ChildCount(head); ++i) {
      const GumboNode* node = Child(head, i);
      if (!IsHtml(node, GUMBO_TAG_NOSCRIPT) ||
          !(node->parse_flags & GUMBO_INSERTION_IMPLICIT_END_TAG)) {
        continue;
      }
      const std::size_t start = node->v.element.start_pos.offset;
      const std::size_t end = LowerAscii(source.substr(start)).find("</noscript");
      ranges_.emplace_back(start, end == std::string::npos ? source.size() : start + end);
    }
  }
  // True for a text, or an element the source holds (not one the parser put in), that lies
  // in such a stretch.
  bool Covers(const GumboNode* node) const {
    if (ranges_.empty()) return false;
    std::size_t offset = 0;
    if (node->type == GUMBO_NODE_ELEMENT) {
      if (node->parse_flags & GUMBO_INSERTION_BY_PARSER) return false;
      offset = node->v.element.start_pos.offset;
    } else if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
      offset = node->v.text.start_pos.offset;
    } else {
      return false;
    }
    for (const auto& [start, end] : ranges_) {
      if (offset > start && offset < end) return true;
    }
    return false;
  }

 private:
  std::vector<std::pair<std::size_t, std::size_t>> ranges_;
};

// What an inline style attribute says about rendering.
struct InlineStyle {
  bool not_rendered = false;  // display:none
  std::string display;        // the display value, "" when not given
  std::string visibility;     // "" when not given
  std::string white_space;
};

InlineStyle StyleOf(const GumboNode* node) {
  InlineStyle style;
  const char* text = Attr(node, "style");
  if (!text) return style;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t semi = rest.find(';');
    const std::string_view decl = rest.substr(0, semi);
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    const std::size_t colon = decl.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = LowerAscii(Trim(decl.substr(0, colon)));
    std::string value = LowerAscii(Trim(decl.substr(colon + 1)));
    if (const std::size_t bang = value.find('!'); bang != std::string::npos) {
      value = std::string(Trim(std::string_view(value).substr(0, bang)));
    }
    if (name == "display") {
      style.display = value;
      if (value == "none") style.not_rendered = true;
    } else if (name == "visibility") {
      style.visibility = value;
    } else if (name == "white-space") {
      style.white_space = value;
    }
  }
  return style;
}

// ---------------------------------------------------------------------------------------------
// Title, base and links.

struct DocumentInfo {
  std::optional<std::string> title;
  std::optional<std::string> base;
  std::vector<std::string> hrefs;  // as written; resolved once the base is known
};

// The address of a <meta http-equiv="refresh"> content ("5; url='x.html'"), "" for none.
std::string RefreshTarget(std::string_view content) {
  std::size_t i = 0;
  while (i < content.size() && IsHtmlSpace(content[i])) ++i;
  const std::size_t digits = i;
  while (i < content.size() && content[i] >= '0' && content[i] <= '9') ++i;
  if (i == digits && (i >= content.size() || content[i] != '.')) return {};
  while (i < content.size() && ((content[i] >= '0' && content[i] <= '9') || content[i] == '.')) ++i;
  if (i >= content.size()) return {};  // a reload of the page itself
  if (content[i] != ';' && content[i] != ',' && !IsHtmlSpace(content[i])) return {};
  while (i < content.size() && IsHtmlSpace(content[i])) ++i;
  if (i < content.size() && (content[i] == ';' || content[i] == ',')) ++i;
  while (i < content.size() && IsHtmlSpace(content[i])) ++i;
  std::string_view url = content.substr(std::min(i, content.size()));
  // An optional "url=" in front of the address.
  if (url.size() >= 3 && LowerAscii(url.substr(0, 3)) == "url") {
    std::size_t j = 3;
    while (j < url.size() && IsHtmlSpace(url[j])) ++j;
    if (j < url.size() && url[j] == '=') {
      ++j;
      while (j < url.size() && IsHtmlSpace(url[j])) ++j;
      url = url.substr(j);
    }
  }
  if (!url.empty() && (url.front() == '"' || url.front() == '\'')) {
    const std::size_t end = url.find(url.front(), 1);
    url = url.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
  }
  return std::string(Trim(url));
}

// Child text of the title element, blanks collapsed and trimmed, as document.title gives it.
std::string TitleText(const GumboNode* title) {
  std::string raw;
  for (unsigned i = 0; i < ChildCount(title); ++i) {
    const GumboNode* c = Child(title, i);
    if (c->type == GUMBO_NODE_TEXT || c->type == GUMBO_NODE_WHITESPACE) raw += c->v.text.text;
  }
  std::string out;
  bool blank = false;
  for (char c : raw) {
    if (IsHtmlSpace(c)) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

DocumentInfo ReadDocument(const GumboNode* document, const ScriptedNoscript& noscript) {
  DocumentInfo info;
  std::vector<const GumboNode*> stack{document};
  while (!stack.empty()) {
    const GumboNode* node = stack.back();
    stack.pop_back();
    if (node->type == GUMBO_NODE_TEMPLATE) continue;
    if (IsElement(node) && node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML &&
        !noscript.Covers(node)) {
      switch (node->v.element.tag) {
        case GUMBO_TAG_NOSCRIPT:
          continue;  // plain text to a browser that runs scripts
        case GUMBO_TAG_A:
        case GUMBO_TAG_AREA:
          if (const char* href = Attr(node, "href")) info.hrefs.emplace_back(href);
          break;
        case GUMBO_TAG_BASE:
          if (const char* href = Attr(node, "href"); href && !info.base) info.base = href;
          break;
        case GUMBO_TAG_TITLE:
          if (!info.title) info.title = TitleText(node);
          break;
        case GUMBO_TAG_META: {
          const char* equiv = Attr(node, "http-equiv");
          const char* content = Attr(node, "content");
          if (equiv && content && LowerAscii(Trim(equiv)) == "refresh") {
            std::string target = RefreshTarget(content);
            if (!target.empty()) info.hrefs.push_back(std::move(target));
          }
          break;
        }
        default:
          break;
      }
    }
    for (unsigned i = ChildCount(node); i > 0; --i) stack.push_back(Child(node, i - 1));
  }
  return info;
}

// ---------------------------------------------------------------------------------------------
// Body text.

enum class WhiteSpace { kCollapse, kPreserve, kPreLine };

// Collects rendered text: runs of blanks become one blank, pending line breaks merge into the
// largest count asked for, and nothing pending is written at the start or the end.
class TextBuilder final {
 public:
  void Text(std::string_view s, WhiteSpace mode) {
    if (mode == WhiteSpace::kPreserve) {
      if (s.empty()) return;
      Flush();
      out_.append(s);
      line_start_ = out_.back() == '\n';
      return;
    }
    std::size_t i = 0;
    while (i < s.size()) {
      if (IsHtmlSpace(s[i])) {
        if (mode == WhiteSpace::kPreLine && s[i] == '\n') {
          Literal('\n');
        } else if (!line_start_) {
          space_ = true;
        }
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < s.size() && !IsHtmlSpace(s[end])) ++end;
      Flush();
      out_.append(s.substr(i, end - i));
      line_start_ = false;
      i = end;
    }
  }
  // A block's edge: at least `n` line breaks before what comes next.
  void Breaks(int n) {
    breaks_ = std::max(breaks_, n);
    space_ = false;
    line_start_ = true;
  }
  // A character the layout puts in (a <br>'s line break, a cell's tab).
  void Literal(char c) {
    space_ = false;
    Flush();
    out_ += c;
    line_start_ = true;
  }
  // An inline block (a button): blanks at its inner edges go, those around it stay.
  void EnterInlineBlock() { line_start_ = true; }
  void LeaveInlineBlock() {
    space_ = false;
    line_start_ = false;
  }
  // Content without text (an image, a form control): blanks next to it stay.
  void Atom() { line_start_ = false; }
  // A table cell's inner edges.
  void CellEdge() {
    space_ = false;
    line_start_ = true;
  }
  std::string Take() { return std::move(out_); }

 private:
  void Flush() {
    if (breaks_ > 0) {
      if (!out_.empty()) out_.append(static_cast<std::size_t>(breaks_), '\n');
      breaks_ = 0;
    }
    // A blank is due here only after content without text on the new line (an image).
    if (space_) {
      out_ += ' ';
      space_ = false;
    }
  }

  std::string out_;
  int breaks_ = 0;          // line breaks asked for before the next text
  bool space_ = false;      // a blank is due before the next text
  bool line_start_ = true;  // blanks here are dropped
};

// kAtom: drawn, but without text of its own or of its children (images, form controls).
enum class Box { kInline, kBlock, kParagraph, kInlineBlock, kCell, kRow, kLineBreak, kAtom, kNone };

bool IsCell(const GumboNode* n) { return IsHtml(n, GUMBO_TAG_TD) || IsHtml(n, GUMBO_TAG_TH); }

bool HasLaterCell(const GumboNode* cell) {
  const GumboNode* row = cell->parent;
  for (unsigned i = cell->index_within_parent + 1; row && i < ChildCount(row); ++i) {
    if (IsCell(Child(row, i))) return true;
  }
  return false;
}

bool HasRow(const GumboNode* section) {
  for (unsigned i = 0; i < ChildCount(section); ++i) {
    if (IsHtml(Child(section, i), GUMBO_TAG_TR)) return true;
  }
  return false;
}

bool HasLaterRow(const GumboNode* row) {
  const GumboNode* section = row->parent;
  if (!section) return false;
  for (unsigned i = row->index_within_parent + 1; i < ChildCount(section); ++i) {
    if (IsHtml(Child(section, i), GUMBO_TAG_TR)) return true;
  }
  if (IsHtml(section, GUMBO_TAG_TABLE) || !section->parent) return false;
  const GumboNode* table = section->parent;
  for (unsigned i = section->index_within_parent + 1; i < ChildCount(table); ++i) {
    if (HasRow(Child(table, i))) return true;
  }
  return false;
}

// The box an HTML element makes by the default styles, or kNone when it is not rendered.
Box DefaultBox(const GumboNode* node) {
  switch (node->v.element.tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_MAP:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_APPLET:
      return Box::kNone;
    case GUMBO_TAG_INPUT: {
      const char* type = Attr(node, "type");
      return type && LowerAscii(Trim(type)) == "hidden" ? Box::kNone : Box::kAtom;
    }
    case GUMBO_TAG_AUDIO:
      return Attr(node, "controls") ? Box::kAtom : Box::kNone;
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_IMAGE:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_METER:
    case GUMBO_TAG_PROGRESS:
      return Box::kAtom;
    case GUMBO_TAG_P:
      return Box::kParagraph;
    case GUMBO_TAG_BR:
      return Box::kLineBreak;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
      return Box::kCell;
    case GUMBO_TAG_TR:
      return Box::kRow;
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_MARQUEE:
      return Box::kInlineBlock;
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_XMP:
      return Box::kBlock;
    case GUMBO_TAG_UNKNOWN: {
      // Elements newer than the parser's table of names.
      const std::string name = NameOf(node);
      if (name == "dialog") return Attr(node, "open") ? Box::kBlock : Box::kNone;
      return name == "search" ? Box::kBlock : Box::kInline;
    }
    default:
      return Box::kInline;
  }
}

Box BoxForDisplay(const std::string& display, Box fallback) {
  if (display.empty()) return fallback;
  if (display == "inline" || display == "contents" || display == "ruby") return Box::kInline;
  if (display.starts_with("inline")) return Box::kInlineBlock;
  if (display == "table-cell") return Box::kCell;
  if (display == "table-row") return Box::kRow;
  if (display.starts_with("table-") && display != "table-caption") return Box::kInline;
  return fallback == Box::kParagraph ? Box::kParagraph : Box::kBlock;
}

bool PreservesWhiteSpace(GumboTag tag) {
  return tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_LISTING || tag == GUMBO_TAG_XMP ||
         tag == GUMBO_TAG_PLAINTEXT;
}

// SVG elements whose content is never drawn.
bool IsSvgNotDrawn(const std::string& name) {
  return name == "title" || name == "desc" || name == "metadata" || name == "defs" ||
         name == "style" || name == "script" || name == "symbol" || name == "clippath" ||
         name == "mask" || name == "pattern" || name == "marker" || name == "lineargradient" ||
         name == "radialgradient" || name == "filter";
}

struct Frame {
  const GumboNode* node;
  unsigned next_child = 0;
  Box box = Box::kInline;
  WhiteSpace saved_mode = WhiteSpace::kCollapse;
  bool saved_text_drawn = true;
  bool closed_details = false;  // only the first <summary> of a closed <details> shows
  bool summary_seen = false;
};

class BodyText final {
 public:
  explicit BodyText(const ScriptedNoscript& noscript) : noscript_(noscript) {}

  std::string Read(const GumboNode* body) {
    std::vector<Frame> stack;
    if (Enter(body, stack)) {
      while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next_child >= ChildCount(f.node)) {
          Leave(f);
          stack.pop_back();
          continue;
        }
        const GumboNode* child = Child(f.node, f.next_child++);
        if (f.closed_details) {
          if (!IsHtml(child, GUMBO_TAG_SUMMARY) || f.summary_seen) continue;
          f.summary_seen = true;
        }
        switch (child->type) {
          case GUMBO_NODE_TEXT:
          case GUMBO_NODE_WHITESPACE:
          case GUMBO_NODE_CDATA:
            if (text_drawn_ && !noscript_.Covers(child)) out_.Text(child->v.text.text, mode_);
            break;
          case GUMBO_NODE_ELEMENT:
            Enter(child, stack);
            break;
          default:
            break;  // comments, templates
        }
      }
    }
    return out_.Take();
  }

 private:
  // Pushes the element's frame and opens its box; false when it renders nothing.
  bool Enter(const GumboNode* node, std::vector<Frame>& stack) {
    const GumboElement& e = node->v.element;
    Frame frame{node};
    frame.saved_mode = mode_;
    frame.saved_text_drawn = text_drawn_;
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
      // Only text elements draw their text, and a foreign object's HTML.
      const std::string name = NameOf(node);
      if (IsSvgNotDrawn(name) || Attr(node, "hidden")) return false;
      if (name == "text") {
        frame.box = Box::kBlock;
        text_drawn_ = true;
      } else if (name == "foreignobject") {
        text_drawn_ = true;
      } else if (name == "svg") {
        out_.Atom();
        text_drawn_ = false;
      }
    } else if (noscript_.Covers(node)) {
      // Text to the browser: its element makes no box of its own.
    } else if (e.tag_namespace == GUMBO_NAMESPACE_HTML) {
      Box box = DefaultBox(node);
      if (box == Box::kNone || Attr(node, "hidden")) return false;
      const InlineStyle style = StyleOf(node);
      if (style.not_rendered) return false;
      // Visibility is inherited, and a descendant may be visible again.
      if (style.visibility == "hidden" || style.visibility == "collapse") text_drawn_ = false;
      if (style.visibility == "visible") text_drawn_ = true;
      if (box == Box::kAtom && style.display.empty()) {
        out_.Atom();
        return false;
      }
      frame.box = BoxForDisplay(style.display, box);
      if (PreservesWhiteSpace(e.tag)) mode_ = WhiteSpace::kPreserve;
      if (!style.white_space.empty()) {
        const std::string& ws = style.white_space;
        mode_ = ws == "pre" || ws == "pre-wrap" || ws == "break-spaces" ? WhiteSpace::kPreserve
                : ws == "pre-line"                                      ? WhiteSpace::kPreLine
                                                                        : WhiteSpace::kCollapse;
      }
      frame.closed_details = e.tag == GUMBO_TAG_DETAILS && !Attr(node, "open");
    }
    switch (frame.box) {
      case Box::kBlock:
        out_.Breaks(1);
        break;
      case Box::kParagraph:
        out_.Breaks(2);
        break;
      case Box::kInlineBlock:
        out_.EnterInlineBlock();
        break;
      case Box::kCell:
        out_.CellEdge();
        break;
      case Box::kLineBreak:
        out_.Literal('\n');
        break;
      default:
        break;
    }
    stack.push_back(frame);
    return true;
  }

  void Leave(const Frame& f) {
    mode_ = f.saved_mode;
    text_drawn_ = f.saved_text_drawn;
    switch (f.box) {
      case Box::kBlock:
        out_.Breaks(1);
        break;
      case Box::kParagraph:
        out_.Breaks(2);
        break;
      case Box::kInlineBlock:
        out_.LeaveInlineBlock();
        break;
      case Box::kCell:
        if (HasLaterCell(f.node)) {
          out_.Literal('\t');
        } else {
          out_.CellEdge();
        }
        break;
      case Box::kRow:
        if (HasLaterRow(f.node)) out_.Literal('\n');
        break;
      default:
        break;
    }
  }

  const ScriptedNoscript& noscript_;
  TextBuilder out_;
  WhiteSpace mode_ = WhiteSpace::kCollapse;
  bool text_drawn_ = true;  // false in hidden elements and in SVG outside its text elements
};

// document.body: the first <body> or <frameset> child of the root element.
const GumboNode* BodyOf(const GumboOutput* output) {
  const GumboNode* root = output->root;
  for (unsigned i = 0; root && i < ChildCount(root); ++i) {
    const GumboNode* c = Child(root, i);
    if (IsHtml(c, GUMBO_TAG_BODY) || IsHtml(c, GUMBO_TAG_FRAMESET)) return c;
  }
  return root;
}

}  // namespace

std::chrono::milliseconds HtmlParseBudget(std::size_t bytes) {
  return std::chrono::milliseconds(2000 + static_cast<std::int64_t>(bytes / 2000));
}

HtmlPage ParseHtmlPage(std::string_view bytes, std::string_view content_type, std::string_view url,
                       std::chrono::milliseconds budget) {
  HtmlPage page;
  const Clock::time_point deadline = Clock::now() + budget;
  page.encoding = SniffHtmlEncoding(bytes, content_type);
  const std::string text = DecodeToUtf8(bytes, page.encoding);

  GumboArena arena(deadline);
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = &GumboArena::Allocate;
  options.deallocator = &GumboArena::Deallocate;
  options.userdata = &arena;
  options.max_errors = 0;  // the parser's error list is not used
  const GumboOutput* output = ParseInArena(arena, options, text);
  if (!output) {
    page.error = "The page is too deeply nested to be read";
    return page;
  }

  const ScriptedNoscript noscript(output, text);
  DocumentInfo info = ReadDocument(output->document, noscript);
  page.title = info.title.value_or("");
  std::string base(url);
  if (info.base) {
    if (std::optional<std::string> resolved = ResolveUrl(url, *info.base, page.encoding)) {
      base = *resolved;
    }
  }
  page.links.reserve(info.hrefs.size());
  for (const std::string& href : info.hrefs) {
    page.links.push_back(LinkHref(base, href, page.encoding));
  }
  page.text = BodyText(noscript).Read(BodyOf(output));
  return page;
}

}  // namespace vellumark
