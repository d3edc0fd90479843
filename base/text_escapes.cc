#include "base/text_escapes.h"

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool unescapeText(std::string_view text, std::string* bytes, std::string* err) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) {
      *err = "a lone \\ ends the value (write \\\\ for a backslash)";
      return false;
    }
    switch (text[i]) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '\\':
        out += '\\';
        break;
      case 'x': {
        int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
          *err = "\\x must be followed by two hex digits";
          return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        *err = std::string("\\") + text[i] + " is not an escape (use \\n, \\t, \\\\ or \\xHH)";
        return false;
    }
  }
  *bytes = std::move(out);
  return true;
}

namespace {

std::string escape(std::string_view bytes, bool quote) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\' || (quote && c == '"')) {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte >= 0x20 && byte <= 0x7e) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xf];
    }
  }
  return out;
}

}  // namespace

std::string escapeText(std::string_view bytes) { return escape(bytes, false); }

std::string quoteText(std::string_view text) { return '"' + escape(text, true) + '"'; }
