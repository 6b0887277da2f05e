#include "messages/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <rapidjson/reader.h>

#include "text/utf.h"

namespace tessiva::messages {
namespace {

using nlohmann::json;

/// Builds the value from RapidJSON's events. Returning false stops the reader.
class Builder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Builder> {
 public:
  json root;

  bool Null() { return add(json(nullptr)); }
  bool Bool(bool b) { return add(json(b)); }
  // Non-negative integers become unsigned values, negative ones signed: the same
  // types nlohmann's own parser would give.
  bool Int(int i) { return add(json(static_cast<json::number_integer_t>(i))); }
  bool Uint(unsigned u) { return add(json(static_cast<json::number_unsigned_t>(u))); }
  bool Int64(std::int64_t i) { return add(json(static_cast<json::number_integer_t>(i))); }
  bool Uint64(std::uint64_t u) { return add(json(static_cast<json::number_unsigned_t>(u))); }
  bool Double(double d) { return add(json(d)); }
  // Numbers arrive as their text (RapidJSON has checked the grammar) and are converted
  // here: from_chars rounds correctly, so an id such as 0.9868011474609375 comes back
  // exactly as it was sent.
  bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
    const char* end = s + n;
    if (std::find_if(s, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end) {
      if (*s == '-') {
        json::number_integer_t i;
        if (const auto r = std::from_chars(s, end, i); r.ec == std::errc{} && r.ptr == end) return add(json(i));
      } else {
        json::number_unsigned_t u;
        if (const auto r = std::from_chars(s, end, u); r.ec == std::errc{} && r.ptr == end) return add(json(u));
      }
    }
    double d;
    const auto r = std::from_chars(s, end, d);
    if (r.ec != std::errc{} || r.ptr != end) return false;  // out of the range of a double
    return add(json(d));
  }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    const std::string_view text(s, n);
    if (!text::is_valid_utf8(text)) return false;
    return add(json(std::string(text)));
  }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    const std::string_view text(s, n);
    if (!text::is_valid_utf8(text)) return false;
    key_.assign(text);
    return true;
  }
  bool StartObject() { return open(json::object()); }
  bool EndObject(rapidjson::SizeType) { return close(); }
  bool StartArray() { return open(json::array()); }
  bool EndArray(rapidjson::SizeType) { return close(); }

 private:
  /// Containers being filled, innermost last. Elements of a parent are not touched
  /// while a child is open, so these pointers stay valid.
  std::vector<json*> open_;
  std::string key_;

  json* add_slot() {
    if (open_.empty()) return &root;
    json& top = *open_.back();
    if (top.is_array()) {
      top.push_back(nullptr);
      return &top.back();
    }
    return &top[key_];  // a repeated key keeps the last value
  }
  bool add(json&& value) {
    *add_slot() = std::move(value);
    return true;
  }
  bool open(json&& container) {
    if (static_cast<int>(open_.size()) >= MAX_JSON_DEPTH) return false;
    json* slot = add_slot();
    *slot = std::move(container);
    open_.push_back(slot);
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }
};

/// True when `text` holds a byte below 0x20 other than tab, line feed and carriage
/// return. Such a byte is never valid JSON (outside strings it is not white space,
/// inside them it must be escaped), but the reader's SSE2 string scan lets 0x1A to
/// 0x1F through, and the in-situ reader takes a NUL for the end of the text. Eight
/// bytes per step: this runs over every 16 MiB chunk frame.
bool has_forbidden_control(const char* text, std::size_t size) noexcept {
  constexpr std::uint64_t ONES = 0x0101010101010101ULL, HIGHS = 0x8080808080808080ULL;
  const auto forbidden = [](unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; };
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, text + i, 8);
    // Some byte may be below 0x20: look at the eight one by one.
    if (((w - ONES * 0x20) & ~w & HIGHS) != 0)
      for (std::size_t k = i; k < i + 8; ++k)
        if (forbidden(static_cast<unsigned char>(text[k]))) return true;
  }
  for (; i < size; ++i)
    if (forbidden(static_cast<unsigned char>(text[i]))) return true;
  return false;
}

}  // namespace

std::optional<json> read_json_in_situ(char* text, std::size_t size) {
  if (size == 0 || has_forbidden_control(text, size)) return std::nullopt;
  std::memset(text + size, 0, JSON_PADDING);
  try {
    Builder builder;
    rapidjson::InsituStringStream stream(text);
    rapidjson::Reader reader;
    const auto ok = reader.Parse<rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag>(stream, builder);
    if (ok.IsError() || stream.Tell() != size) return std::nullopt;
    return std::move(builder.root);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<json> read_json(std::string_view text) {
  const auto copy = std::make_unique_for_overwrite<char[]>(text.size() + JSON_PADDING);
  std::memcpy(copy.get(), text.data(), text.size());
  return read_json_in_situ(copy.get(), text.size());
}

}  // namespace tessiva::messages
