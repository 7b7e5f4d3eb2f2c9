#include "net/uu_processor.h"

#include <sstream>

namespace vellumark {

void TUUProcessor::SelectAlphabet() {
  if (Method == uuMime) {
    alphabet_ = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  } else {
    // The uuencode alphabet with a backquote in place of the space for the value 0.
    alphabet_ = "`";
    for (char c = '!'; c <= '_'; ++c) alphabet_ += c;
  }
}

void TUUProcessor::Encode() {
  InputStream->clear();
  InputStream->seekg(0);
  if (OnBeginEncode) OnBeginEncode(*this);
  struct RewindOutput {
    TUUProcessor& self;
    ~RewindOutput() {
      if (auto* io = dynamic_cast<std::iostream*>(self.OutputStream)) {
        io->clear();
        io->seekg(0);
      }
      if (self.OnEndEncode) self.OnEndEncode(self);
    }
  } rewind{*this};

  SelectAlphabet();
  const std::string& a = alphabet_;
  char chunk[45];
  for (;;) {
    InputStream->read(chunk, sizeof chunk);
    const std::streamsize got = InputStream->gcount();
    if (got <= 0) break;
    std::string line;
    if (Method == uuCode) line += a[static_cast<std::size_t>(got)];
    std::streamsize i = 0;
    auto byte = [&](std::streamsize k) { return static_cast<unsigned char>(chunk[k]); };
    for (; i + 3 <= got; i += 3) {
      const unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2);
      line += a[b0 >> 2];
      line += a[((b0 << 4) | (b1 >> 4)) & 63];
      line += a[((b1 << 2) | (b2 >> 6)) & 63];
      line += a[b2 & 63];
    }
    if (got - i == 1) {
      const unsigned b0 = byte(i);
      line += a[b0 >> 2];
      line += a[(b0 << 4) & 63];
      if (Method == uuMime) line += "==";
    } else if (got - i == 2) {
      const unsigned b0 = byte(i), b1 = byte(i + 1);
      line += a[b0 >> 2];
      line += a[((b0 << 4) | (b1 >> 4)) & 63];
      line += a[(b1 << 2) & 63];
      if (Method == uuMime) line += '=';
    }
    line += "\r\n";
    OutputStream->write(line.data(), static_cast<std::streamsize>(line.size()));
    if (got < static_cast<std::streamsize>(sizeof chunk)) break;
  }
  if (Method == uuCode) {
    const std::string closing = std::string(1, a[0]) + "\r\n";
    OutputStream->write(closing.data(), static_cast<std::streamsize>(closing.size()));
  }
}

std::string Base64Text(const std::string& data) {
  std::stringstream in(data);
  std::stringstream out;
  TUUProcessor uu;
  uu.Method = uuMime;
  uu.InputStream = &in;
  uu.OutputStream = &out;
  uu.Encode();
  // Lines of 45 bytes encode without padding, so joining the lines gives one Base64 text.
  std::string text;
  for (char c : out.str()) {
    if (c != '\r' && c != '\n') text += c;
  }
  return text;
}

}  // namespace vellumark
