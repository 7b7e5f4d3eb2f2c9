// What the fast loader reads from an HTML page with an HTML5 parser (gumbo), without running
// scripts or applying style sheets: the title, the links and the body text, as close to what
// the browser's document gives (`document.title`, `document.links`, `document.body.innerText`)
// as a parser without styles can come.
//
// - Encoding: by the rules of html_charset.h; the text is UTF-8.
// - Title: the first <title>, its blanks collapsed and trimmed.
// - Links: the href of every <a> and <area>, and the target of a <meta http-equiv="refresh">,
//   in document order, resolved against the first <base href> (itself resolved against the
//   page's address) or the page's address, in the normal form of link_url.h. Links inside
//   <template> and <noscript> (which a browser running scripts reads as plain text) are left
//   out, as in the browser.
// - Text: the body's rendered text by the default styles: <head>, <script>, <style>,
//   <noscript>, <template>, elements with the hidden attribute or an inline style of
//   display:none or visibility:hidden (unless a descendant is visible again), form controls, media
//   and frames with their fallback, and the closed part of <details> give nothing (an <object>'s
//   fallback shows, as it does for the plug-in content browsers no longer run); block elements give
//   line breaks (two around <p>), <br> one, table cells a tab and rows a line break; <pre> keeps
//   its white space; elsewhere runs of blanks become one blank and blanks at line starts and ends
//   go.
//
// A page whose parse runs past its time budget (nesting that makes the parser's work grow with
// the square of the size) gives up: `error` says so and nothing else is filled.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vellumark {

struct HtmlPage {
  std::string encoding;  // the encoding the bytes were read in
  std::string title;
  std::vector<std::string> links;  // absolute, in normal form, in document order
  std::string text;                // UTF-8
  std::string error;               // empty unless the page could not be parsed
};

// The parse's time budget for a page of `bytes` bytes: two seconds plus half a second per MB.
std::chrono::milliseconds HtmlParseBudget(std::size_t bytes);

// Reads the page `bytes`, served as `content_type` (the header value; may be empty) from the
// address `url` (after redirects).
HtmlPage ParseHtmlPage(std::string_view bytes, std::string_view content_type, std::string_view url,
                       std::chrono::milliseconds budget);
inline HtmlPage ParseHtmlPage(std::string_view bytes, std::string_view content_type,
                              std::string_view url) {
  return ParseHtmlPage(bytes, content_type, url, HtmlParseBudget(bytes.size()));
}

}  // namespace vellumark
