// The rules that decide what becomes of a page, whichever loader brought it: which addresses
// belong to a location, which of a page's links lead to further pages of it, and whether a
// loaded page is indexed or recorded without text (an error answer, a page already fetched
// under another address, a page the site's robots.txt excludes).
//
// Every address is compared in the normal form a browser gives its links (link_url.h): scheme
// and host in lower case, no default port, the path percent-encoded. The location's own
// addresses are brought into that form once, so that a link is inside exactly when its text
// begins with the base address's directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "indexer/page_loader.h"
#include "web/url.h"

namespace vellumark {

// A location's start address (its URL without the fragment) and base address (scheme, host,
// port and the start address's directory), in normal form. A URL that cannot be read as a web
// address keeps the forms the URL object gives it (an address without "//" renders as empty).
struct LocationAddress {
  std::string start;
  std::string base;
};
LocationAddress LocationAddressOf(std::string_view url);

// `url` in normal form, without its fragment; `url` itself when it cannot be parsed.
std::string NormalAddress(std::string_view url);

// Where a link of a page leads.
enum class LinkPlace {
  kNoPage,   // another scheme than http and https, or the page itself (fragments aside)
  kOutside,  // a web page outside the location
  kInside,   // a further page of the location
};

// The links of the pages of one location. Set the base once and the page before its links.
class LocationLinks final {
 public:
  // `base_address` in normal form, ending with "/".
  void SetBase(const std::string& base_address);
  // The page the next links stand on: its address as queued (base address + relative).
  void SetPage(const std::string& page_address);

  // Resolves `href` against the page. For a link inside the location, `relative` receives its
  // address relative to the base address, without the fragment.
  LinkPlace Place(std::string_view href, std::string& relative);

 private:
  TURL base_;
  std::size_t base_length_ = 0;
  TURL page_;
  std::string page_address_;
  TURL link_;
};

// What becomes of a loaded page.
enum class PageOutcome {
  kIndex,      // links followed, words recorded
  kNotFound,   // the server answered with an error status: state 2, counted
  kDuplicate,  // a page fetched before in this run, under another address: state 2
  kExcluded,   // the site's robots.txt does not allow it: state 2
};

// True for an answer status that says the page is missing or refused (400 and above), except
// 405 and 501, which only say that the server does not take the request's method.
bool IsErrorStatus(int status);

// The status number of a response header's status line ("HTTP/1.0 404 Not Found" gives 404);
// 0 when there is none.
int StatusOfHeader(std::string_view header);

// The pages of one run, judged one by one in the order the loop takes them.
class PageOutcomes final {
 public:
  void Clear();

  // The outcome of `page`. A page to index is remembered, so that a later page ending at the
  // same final address, or with a byte-identical title and text, counts as its duplicate.
  PageOutcome Judge(const LoadedPage& page);

  // Pages judged not found since Clear.
  int NotFound() const { return not_found_; }
  // Pages judged excluded by robots.txt since Clear.
  int Excluded() const { return excluded_; }

 private:
  // A page's title and text, kept as a hash and their lengths: two pages count as equal when
  // all three agree, so a false match needs texts and titles of equal lengths with one 64-bit
  // hash.
  struct Content {
    std::uint64_t hash;
    std::size_t text_length;
    std::size_t title_length;
    bool operator==(const Content&) const = default;
  };
  struct ContentHash {
    std::size_t operator()(const Content& c) const { return c.hash; }
  };

  // Hashes too: a run may hold a million pages.
  std::unordered_set<std::uint64_t> final_addresses_;
  std::unordered_set<Content, ContentHash> contents_;
  int not_found_ = 0;
  int excluded_ = 0;
};

}  // namespace vellumark
