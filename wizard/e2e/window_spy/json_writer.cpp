#include "json_writer.h"

namespace termgate::window_spy {

namespace {

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

void AppendUnicodeEscape(std::string& out, unsigned codeUnit) {
  constexpr char kHexDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) {
    out += kHexDigits[(codeUnit >> shift) & 0xF];
  }
}

bool IsHighSurrogate(unsigned unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(unsigned unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string JsonString(std::wstring_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned unit = text[i];
    switch (unit) {
      case u'"':
        out += "\\\"";
        continue;
      case u'\\':
        out += "\\\\";
        continue;
      case u'\n':
        out += "\\n";
        continue;
      case u'\r':
        out += "\\r";
        continue;
      case u'\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    if (unit < 0x20) {
      AppendUnicodeEscape(out, unit);
    } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const unsigned low = text[++i];
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUnicodeEscape(out, unit);
    } else {
      AppendUtf8(out, unit);
    }
  }
  out += '"';
  return out;
}

std::string JsonString(std::string_view utf8Text) {
  // Through UTF-16 so that the same escaping applies; invalid input bytes become U+FFFD.
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(),
                                         static_cast<int>(utf8Text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), static_cast<int>(utf8Text.size()), wide.data(),
                      length);
  return JsonString(std::wstring_view(wide));
}

JsonObject& JsonObject::Member(std::string_view key, std::string_view encodedValue) {
  if (!members_.empty()) {
    members_ += ',';
  }
  members_ += JsonString(key);
  members_ += ':';
  members_ += encodedValue;
  return *this;
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
  return Member(key, value ? "true" : "false");
}

JsonObject& JsonObject::Number(std::string_view key, std::int64_t value) {
  return Member(key, std::to_string(value));
}

JsonObject& JsonObject::Text(std::string_view key, std::wstring_view value) {
  return Member(key, JsonString(value));
}

JsonObject& JsonObject::Utf8(std::string_view key, std::string_view value) {
  return Member(key, JsonString(value));
}

JsonObject& JsonObject::Object(std::string_view key, const JsonObject& value) {
  return Member(key, value.Serialized());
}

JsonObject& JsonObject::Array(std::string_view key, const JsonArray& value) {
  return Member(key, value.Serialized());
}

JsonObject& JsonObject::Merge(const JsonObject& other) {
  if (!members_.empty() && !other.members_.empty()) {
    members_ += ',';
  }
  members_ += other.members_;
  return *this;
}

JsonArray& JsonArray::Element(std::string_view encodedValue) {
  if (!elements_.empty()) {
    elements_ += ',';
  }
  elements_ += encodedValue;
  return *this;
}

JsonArray& JsonArray::Number(std::int64_t value) {
  return Element(std::to_string(value));
}

JsonArray& JsonArray::Object(const JsonObject& value) {
  return Element(value.Serialized());
}

JsonArray& JsonArray::Text(std::wstring_view value) {
  return Element(JsonString(value));
}

JsonArray RectArray(const RECT& rect) {
  JsonArray array;
  array.Number(rect.left).Number(rect.top).Number(rect.right).Number(rect.bottom);
  return array;
}

JsonArray PairArray(std::int64_t first, std::int64_t second) {
  JsonArray array;
  array.Number(first).Number(second);
  return array;
}

}  // namespace termgate::window_spy
