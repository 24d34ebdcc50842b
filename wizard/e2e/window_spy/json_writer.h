// The few JSON shapes window_spy answers with, built as text: no library, no parsing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <windows.h>

namespace termgate::window_spy {

// A JSON string literal, quotes included. Window texts come from another process and may hold
// anything: the result is UTF-8 with quotes, backslashes and control characters escaped, and an
// unpaired surrogate becomes a \u escape so that no output byte sequence is invalid UTF-8.
std::string JsonString(std::wstring_view text);
std::string JsonString(std::string_view utf8Text);

class JsonArray;

class JsonObject {
 public:
  JsonObject& Bool(std::string_view key, bool value);
  JsonObject& Number(std::string_view key, std::int64_t value);
  JsonObject& Text(std::string_view key, std::wstring_view value);
  JsonObject& Utf8(std::string_view key, std::string_view value);
  JsonObject& Object(std::string_view key, const JsonObject& value);
  JsonObject& Array(std::string_view key, const JsonArray& value);
  // Appends all of `other`'s members after this one's.
  JsonObject& Merge(const JsonObject& other);

  // The members without the surrounding braces, for callers that put members in front.
  const std::string& members() const { return members_; }
  std::string Serialized() const { return "{" + members_ + "}"; }

 private:
  JsonObject& Member(std::string_view key, std::string_view encodedValue);
  std::string members_;
};

class JsonArray {
 public:
  JsonArray& Number(std::int64_t value);
  JsonArray& Object(const JsonObject& value);
  JsonArray& Text(std::wstring_view value);
  std::string Serialized() const { return "[" + elements_ + "]"; }

 private:
  JsonArray& Element(std::string_view encodedValue);
  std::string elements_;
};

JsonArray RectArray(const RECT& rect);  // [left, top, right, bottom]
JsonArray PairArray(std::int64_t first, std::int64_t second);

}  // namespace termgate::window_spy
