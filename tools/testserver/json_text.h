// JSON string escaping for the test tools' one-line records (the test server's
// request log, the window probe's answers). Header only: the two run on different
// platforms.
#pragma once

#include <cstdio>
#include <string>

namespace testserver {

// The UTF-8 text s with quotes, backslashes and control characters escaped, without
// the surrounding quotes.
inline std::string JsonEscape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace testserver
