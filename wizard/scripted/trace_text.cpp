#include "trace_text.h"

namespace termgate::scripted {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  auto byte = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | c >> 6);
    byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | c >> 12);
    byte(0x80 | (c >> 6 & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | c >> 18);
    byte(0x80 | (c >> 12 & 0x3F));
    byte(0x80 | (c >> 6 & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

template <class Escape>
std::string Encode(TextView text, Escape escape) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (escape(out, unit)) {
      continue;
    }
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t high = unit - 0xD800u;
      const char32_t low = text[++i] - 0xDC00u;
      AppendUtf8(out, 0x10000 + (high << 10 | low));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, U'\uFFFD');  // a lone surrogate has no UTF-8 form
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace

std::string ToUtf8(TextView text) {
  return Encode(text, [](std::string&, char16_t) { return false; });
}

std::string JsonQuoted(TextView text) {
  std::string out = "\"";
  out += Encode(text, [](std::string& to, char16_t unit) {
    if (unit == u'"' || unit == u'\\') {
      to += '\\';
      to += static_cast<char>(unit);
      return true;
    }
    if (unit < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      to += "\\u00";
      to += kHex[unit >> 4];
      to += kHex[unit & 0xF];
      return true;
    }
    return false;
  });
  out += '"';
  return out;
}

std::string Quoted(TextView text) {
  std::string out = "\"";
  out += Encode(text, [](std::string& to, char16_t unit) {
    switch (unit) {
      case u'"':
        to += "\\\"";
        return true;
      case u'\\':
        to += "\\\\";
        return true;
      case u'\r':
        to += "\\r";
        return true;
      case u'\n':
        to += "\\n";
        return true;
      default:
        return false;
    }
  });
  out += '"';
  return out;
}

}  // namespace termgate::scripted
