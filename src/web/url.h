// A URL taken apart into scheme, host, port, path and anchor. A new URL text is parsed relative
// to the current parts, so resolving a link against the page it stands on is one SetURL call.
// The object owns only texts and a number.
//
// Positions and lengths count bytes. Texts are compared and kept as written, except the scheme,
// which is lower-cased when it is taken from a URL text.
#pragma once

#include <string>
#include <string_view>

namespace vellumark {

class TURL final {
 public:
  TURL() { Clear(); }

  // Empty scheme and host, port -1, path "/", empty anchor.
  void Clear();
  // Stores each text with its leading and trailing blanks and control characters removed, and
  // the port as given.
  void SetParts(std::string_view scheme, std::string_view host, int port, std::string_view path,
                std::string_view anchor);
  void Assign(const TURL& other) { *this = other; }
  void SetPath(std::string_view path) { path_ = std::string(path); }
  void SetAnchor(std::string_view anchor) { anchor_ = std::string(anchor); }

  // Parses `text` against the current parts: what the text does not give keeps its current
  // value, except the anchor, which is always replaced. A blank text changes nothing.
  void SetURL(std::string_view text);

  // The URL text: empty when there is no host (so a local file renders as nothing); else the
  // scheme ("http" when empty), "://", the host, ":" and the port unless it is negative or 80,
  // then the path ("/" when empty) and, after a path, "#" and the anchor when there is one.
  std::string GetURL() const;

  // The path up to and including its last "/" at or before the first "?" (or, without a "?",
  // the first "="), so a query holding slashes does not move the directory; empty when there
  // is no "/" there.
  std::string GetDirectory() const;

  const std::string& Scheme() const { return scheme_; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  const std::string& Path() const { return path_; }
  const std::string& Anchor() const { return anchor_; }

 private:
  std::string scheme_;  // lower case when taken from a URL text; may be empty
  std::string host_;    // as written; empty for local files
  int port_ = -1;       // -1 when none; 80 when a URL text names a host without a port
  std::string path_;    // from the first "/" after the host, query included; or a file path
  std::string anchor_;  // the part after "#", without it
};

// Scheme, host and port equal (exactly, letter case included).
bool SameServer(const TURL& a, const TURL& b);
// SameServer and equal paths; anchors are not compared.
bool SamePage(const TURL& a, const TURL& b);
// SameServer, and the link's directory begins with the base's directory.
bool IsInside(const TURL& link, const TURL& base);

// A location's starting URL (Task_URL) taken apart the one way the indexer and the search both
// need: `url` is set to the location's base address (the URL without its fragment, its path
// cut to the directory part), and the result is the start address (the URL without its
// fragment). The indexer strips the base address from every page address; the search puts it
// in front of them.
std::string SetBaseAddress(TURL& url, std::string_view task_url);
// The base address of a location as text.
std::string BaseAddressOf(std::string_view task_url);

}  // namespace vellumark
