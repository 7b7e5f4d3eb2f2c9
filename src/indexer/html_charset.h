// The character encoding of an HTML document's bytes, and their conversion to UTF-8 (ICU).
//
// The encoding is found as a browser finds it: a byte order mark first; then the charset of
// the answer's content type; then a <meta charset> or <meta http-equiv="content-type"> within
// the first 1024 bytes (read with the HTML parser, not by scanning for tags); then, for bytes
// that declare nothing, UTF-8 when they are well-formed UTF-8 holding at least one multi-byte
// sequence (what browsers detect), else windows-1252. Labels are read as browsers read them:
// "iso-8859-1", "latin1" and "us-ascii" mean windows-1252, a <meta> naming UTF-16 means UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vellumark {

// The encoding's name for a label ("Latin1" gives "windows-1252"); "" for an unknown label.
std::string EncodingForLabel(std::string_view label);

// The charset parameter of a content type or of a <meta> content attribute
// ("text/html; charset=UTF-8" gives "UTF-8"); "" when there is none.
std::string CharsetParameter(std::string_view text);

// The encoding of `bytes`, with `content_type` the answer's header value (may be empty).
std::string SniffHtmlEncoding(std::string_view bytes, std::string_view content_type);

// UTF-8 `text` in `encoding`, characters it cannot hold written as "&#N;" (percent-encoded:
// "%26%23N%3B"), as a browser encodes a link's query for a page in that encoding. UTF-8 (and the
// encodings that fall back to it: UTF-16, unknown names) gives the text unchanged.
std::string EncodeFromUtf8(std::string_view text, std::string_view encoding);

// `bytes` decoded from `encoding` to UTF-8, a leading byte order mark left out. Bytes that do
// not decode become U+FFFD; an unknown encoding is read as windows-1252.
std::string DecodeToUtf8(std::string_view bytes, std::string_view encoding);

}  // namespace vellumark
