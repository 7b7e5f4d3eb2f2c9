// Links in the normal form a browser gives them: a link's address resolved against the page's
// base address and written out the way the URL Standard writes web addresses (http, https, ws,
// wss, ftp): scheme and host in lower case (international host names in their ASCII form,
// numeric IPv4 hosts as four decimal numbers), the scheme's default port dropped, "." and ".."
// path segments resolved, backslashes read as slashes, and the characters a path, query or
// fragment may not hold percent-encoded (UTF-8). Like the browser the program drives, paths
// also escape "|" and "^" and unescape letters, digits and "-._~".
//
// So the fast loader hands the page loop the same link texts that the browser's document gives
// (`a.href`), and the two loaders find the same pages. IPv6 hosts are kept as written (in lower
// case).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vellumark {

// `href` resolved against the absolute address `base`, in normal form; nullopt when either
// cannot be parsed (an empty host, a port that is not a number, a forbidden host character).
// An address of another scheme (mailto:, javascript:, data:, ...) comes back as written but
// for its scheme in lower case and the encoding of its query and fragment.
// A query is encoded in `encoding`, the page's (html_charset.h), as browsers do.
std::optional<std::string> ResolveUrl(std::string_view base, std::string_view href,
                                      std::string_view encoding = "UTF-8");

// What a link's `href` property gives: the resolved address, or the attribute's text as
// written when it cannot be resolved.
std::string LinkHref(std::string_view base, std::string_view href,
                     std::string_view encoding = "UTF-8");

}  // namespace vellumark
