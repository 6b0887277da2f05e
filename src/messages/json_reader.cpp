#include "messages/json_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "codec/cpu_features.h"
#include "text/utf.h"

namespace tessiva::messages::detail {

/// RapidJSON's in-situ stream, with a place for what our string scan notices. The
/// reader works on copies of the stream (and needs to: it finds the text of a number
/// through the original), so the copies share that place through a pointer.
struct ScannedStream : rapidjson::InsituStringStream {
  ScannedStream(char* text, bool& unusual) : rapidjson::InsituStringStream(text), unusual(&unusual) {}
  /// Set when the string being read holds a byte above 0x7F or an escape: only then
  /// can its decoded text be anything but ASCII (an escape such as \udc00 decodes to
  /// an invalid sequence), so only then is it checked for UTF-8.
  bool* unusual;
};

#if defined(__SSE2__)
/// The first byte from `p` on that is '"', '\\' or below 0x20, and with `ExactControls`
/// false also any byte above 0x7F; or, when none comes in `max_steps` steps of 64
/// bytes, the byte after them. It may read up to 63 bytes past the byte it returns.
template <bool ExactControls>
const char* find_string_stop(const char* p, std::size_t max_steps = SIZE_MAX) noexcept {
  const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), space = _mm_set1_epi8(0x20),
                max_control = _mm_set1_epi8(0x1F);
  const auto stops = [&](const char* at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash));
    if constexpr (ExactControls)
      return _mm_or_si128(special, _mm_cmpeq_epi8(_mm_min_epu8(v, max_control), v));
    else
      return _mm_or_si128(special, _mm_cmplt_epi8(v, space));  // signed: 0x80-0xFF are below too
  };
  for (; max_steps > 0; --max_steps, p += 64) {
    const __m128i a = stops(p), b = stops(p + 16), c = stops(p + 32), d = stops(p + 48);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
    const std::uint64_t mask = static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(a))) |
                               static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(b))) << 16 |
                               static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(c))) << 32 |
                               static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(d))) << 48;
    return p + std::countr_zero(mask);
  }
  return p;
}

/// `find_string_stop<false>` with 32-byte vectors, at more than twice the rate: on a
/// 16 MiB chunk frame this scan is the host's only pass over the text. It keeps every
/// vector in a register (no 32-byte stack slots, which 64-bit Windows builds of GCC
/// do not align).
__attribute__((target("avx2"))) const char* find_string_stop_avx2(const char* p) noexcept {
  const __m256i quote = _mm256_set1_epi8('"'), backslash = _mm256_set1_epi8('\\'), space = _mm256_set1_epi8(0x20);
  for (;; p += 64) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const __m256i stop_a = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, quote), _mm256_cmpeq_epi8(a, backslash)),
                                           _mm256_cmpgt_epi8(space, a));
    const __m256i stop_b = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(b, quote), _mm256_cmpeq_epi8(b, backslash)),
                                           _mm256_cmpgt_epi8(space, b));
    const __m256i any = _mm256_or_si256(stop_a, stop_b);
    if (_mm256_testz_si256(any, any)) continue;
    const std::uint64_t mask = static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(stop_a))) |
                               static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(stop_b))) << 32;
    return p + std::countr_zero(mask);
  }
}
#endif

}  // namespace tessiva::messages::detail

template <>
struct rapidjson::StreamTraits<tessiva::messages::detail::ScannedStream> {
  enum { copyOptimization = 1 };
};

/// The reader's own vector scan of string text (RapidJSON 1.1) lets the raw control
/// bytes 0x1A to 0x1F through, and a separate pass to catch them cost as much as the
/// whole parse of a 16 MiB chunk frame. This scan, used for our stream only, stops at
/// every byte below 0x20 as well as at '"' and '\\' (the reader then refuses the
/// control byte or decodes the escape) and notes bytes above 0x7F. Its loads may reach
/// 63 bytes past the terminator it stops at, which JSON_PADDING allows for.
template <>
template <>
inline void rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator>::
    ScanCopyUnescapedString(tessiva::messages::detail::ScannedStream& is, tessiva::messages::detail::ScannedStream&) {
  char* p = is.src_;
#if defined(__SSE2__)
  using tessiva::messages::detail::find_string_stop;
  // Until the first byte above 0x7F one comparison finds control bytes and those
  // bytes at once; after it, control bytes are looked for on their own. Only a string
  // longer than a few KiB asks for AVX2: the first question costs tens of microseconds
  // in a virtual machine, too much for the first reply of the host.
  constexpr std::size_t SHORT_STEPS = 64;  // 4 KiB
  const char* end = find_string_stop<false>(p, SHORT_STEPS);
  if (static_cast<std::size_t>(end - p) == SHORT_STEPS * 64)
    end = tessiva::codec::has_avx2() ? tessiva::messages::detail::find_string_stop_avx2(end) : find_string_stop<false>(end);
  if (static_cast<unsigned char>(*end) >= 0x80) {
    *is.unusual = true;
    end = find_string_stop<true>(end);
  }
#else
  const char* end = p;
  for (; static_cast<unsigned char>(*end) >= 0x20 && *end != '"' && *end != '\\'; ++end)
    if (static_cast<unsigned char>(*end) >= 0x80) *is.unusual = true;
#endif
  if (*end == '\\') *is.unusual = true;
  const auto length = static_cast<std::size_t>(end - p);
  // The decoded text lags behind the raw text only after an escape.
  if (is.dst_ != p) std::memmove(is.dst_, p, length);
  is.src_ += length;
  is.dst_ += length;
}

namespace tessiva::messages {
namespace {

using nlohmann::json;

/// A number read as text (RapidJSON has checked the grammar): integers that fit stay
/// integers, non-negative ones unsigned and negative ones signed, the same types
/// nlohmann's own parser would give; the rest become doubles. from_chars rounds
/// correctly, so an id such as 0.9868011474609375 comes back exactly as it was sent.
/// None when no double can hold it.
std::optional<std::variant<json::number_unsigned_t, json::number_integer_t, double>> number_of(const char* s,
                                                                                              std::size_t n) {
  const char* end = s + n;
  if (std::find_if(s, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end) {
    if (*s == '-') {
      json::number_integer_t i;
      if (const auto r = std::from_chars(s, end, i); r.ec == std::errc{} && r.ptr == end) return i;
    } else {
      json::number_unsigned_t u;
      if (const auto r = std::from_chars(s, end, u); r.ec == std::errc{} && r.ptr == end) return u;
    }
  }
  double d;
  const auto r = std::from_chars(s, end, d);
  if (r.ec != std::errc{} || r.ptr != end) return std::nullopt;
  return d;
}

/// The flags of every reading: strings decoded in place, numbers handed over as text.
constexpr unsigned PARSE_FLAGS = rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;

/// Builds the value from RapidJSON's events. Returning false stops the reader.
class Builder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Builder> {
 public:
  /// `long_strings`: where long string members of the top-level object go instead of
  /// the value; null to keep every string in the value.
  /// `unusual`: the flag the string scan sets (see ScannedStream).
  /// `text`: the text being parsed, where the long strings stay.
  Builder(bool& unusual, char* text, std::vector<LongString>* long_strings)
      : unusual_(unusual), text_(text), long_strings_(long_strings) {}

  json root;

  bool Null() { return add(json(nullptr)); }
  bool Bool(bool b) { return add(json(b)); }
  // Only RawNumber is called (PARSE_FLAGS); these complete the handler.
  bool Int(int i) { return add(json(static_cast<json::number_integer_t>(i))); }
  bool Uint(unsigned u) { return add(json(static_cast<json::number_unsigned_t>(u))); }
  bool Int64(std::int64_t i) { return add(json(static_cast<json::number_integer_t>(i))); }
  bool Uint64(std::uint64_t u) { return add(json(static_cast<json::number_unsigned_t>(u))); }
  bool Double(double d) { return add(json(d)); }
  bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
    const auto number = number_of(s, n);
    if (!number) return false;
    return add(std::visit([](auto v) { return json(v); }, *number));
  }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    const std::string_view text(s, n);
    if (!valid(text)) return false;
    if (long_strings_ && n >= LONG_STRING_BYTES && in_top_level_object() && key_ != "id" && key_ != "type") {
      root.erase(key_);  // an earlier member of the same name: the last one counts
      forget_long_string();
      // The reader hands the string out as constant; it lies in our own text.
      long_strings_->push_back({key_, std::span(text_ + (s - text_), n)});
      return true;
    }
    return add(json(std::string(text)));
  }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    const std::string_view text(s, n);
    if (!valid(text)) return false;
    key_.assign(text);
    return true;
  }
  bool StartObject() { return open(json::object()); }
  bool EndObject(rapidjson::SizeType) { return close(); }
  bool StartArray() { return open(json::array()); }
  bool EndArray(rapidjson::SizeType) { return close(); }

 private:
  bool& unusual_;
  char* text_;
  std::vector<LongString>* long_strings_;
  /// Containers being filled, innermost last. Elements of a parent are not touched
  /// while a child is open, so these pointers stay valid. A fixed array, since the
  /// depth is bounded: a small request then parses without allocating for it.
  std::array<json*, MAX_JSON_DEPTH> open_{};
  std::size_t depth_ = 0;
  std::string key_;

  /// Whether the string just read is valid UTF-8; checked only when the scan saw a
  /// byte that could make it otherwise.
  bool valid(std::string_view text) {
    const bool check = unusual_;
    unusual_ = false;
    return !check || text::is_valid_utf8(text);
  }

  bool in_top_level_object() const { return depth_ == 1 && root.is_object(); }

  /// Drops a long string kept earlier under the current key (a repeated key).
  void forget_long_string() {
    if (long_strings_ && !long_strings_->empty() && in_top_level_object())
      std::erase_if(*long_strings_, [&](const LongString& s) { return s.key == key_; });
  }

  json* add_slot() {
    if (depth_ == 0) return &root;
    json& top = *open_[depth_ - 1];
    if (top.is_array()) {
      top.push_back(nullptr);
      return &top.back();
    }
    forget_long_string();
    return &top[key_];  // a repeated key keeps the last value
  }
  bool add(json&& value) {
    *add_slot() = std::move(value);
    return true;
  }
  bool open(json&& container) {
    if (depth_ >= open_.size()) return false;
    json* slot = add_slot();
    *slot = std::move(container);
    open_[depth_++] = slot;
    return true;
  }
  bool close() {
    --depth_;
    return true;
  }
};

/// Hands RapidJSON's events to a `JsonEvents` under the rules the builder keeps: valid
/// UTF-8, bounded nesting, numbers a double can hold. Records why it stopped.
class EventsAdapter : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, EventsAdapter> {
 public:
  EventsAdapter(JsonEvents& events, bool& unusual, const char* text) : events_(events), unusual_(unusual), text_(text) {}

  std::optional<JsonStop> stop;

  bool Null() { return events_.null(); }
  bool Bool(bool b) { return events_.boolean(b); }
  bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
    const auto number = number_of(s, n);
    if (!number) {
      return refuse(JsonStop::Reason::Syntax, s, rapidjson::GetParseError_En(rapidjson::kParseErrorNumberTooBig));
    }
    return std::visit(
        [&](auto v) {
          if constexpr (std::is_same_v<decltype(v), double>)
            return events_.float_number(v);
          else if constexpr (std::is_same_v<decltype(v), json::number_integer_t>)
            return events_.negative_number(v);
          else
            return events_.unsigned_number(v);
        },
        *number);
  }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    const std::string_view text(s, n);
    if (!valid(text)) return refuse(JsonStop::Reason::InvalidUtf8, s);
    return events_.string(text);
  }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    const std::string_view text(s, n);
    if (!valid(text)) return refuse(JsonStop::Reason::InvalidUtf8Key, s);
    return events_.key(text);
  }
  bool StartObject() { return open() && events_.start_object(); }
  bool EndObject(rapidjson::SizeType) { return --depth_, events_.end_object(); }
  bool StartArray() { return open() && events_.start_array(); }
  bool EndArray(rapidjson::SizeType) { return --depth_, events_.end_array(); }

 private:
  JsonEvents& events_;
  bool& unusual_;
  const char* text_;
  std::size_t depth_ = 0;

  bool valid(std::string_view text) {
    const bool check = unusual_;
    unusual_ = false;
    return !check || text::is_valid_utf8(text);
  }
  /// A container one level deeper; the offset of a refusal is where the reader stopped.
  bool open() {
    return ++depth_ <= MAX_JSON_DEPTH || refuse(JsonStop::Reason::TooDeep, nullptr);
  }
  bool refuse(JsonStop::Reason reason, const char* at, std::string_view message = {}) {
    stop = JsonStop{reason, at ? static_cast<std::size_t>(at - text_) : 0, message};
    return false;
  }
};

/// Parses `text[0, size)`; long strings go to `long_strings` unless it is null.
std::optional<json> parse_in_situ(char* text, std::size_t size, std::vector<LongString>* long_strings) {
  if (size == 0) return std::nullopt;
  // A NUL byte ends the in-situ text early, so it is caught by the position check
  // below; inside a string the scan stops at it and the reader refuses it.
  std::memset(text + size, 0, JSON_PADDING);
  try {
    bool unusual = false;
    detail::ScannedStream stream(text, unusual);
    Builder builder(unusual, text, long_strings);
    rapidjson::Reader reader;
    const auto ok = reader.Parse<PARSE_FLAGS>(stream, builder);
    if (ok.IsError() || stream.Tell() != size) return std::nullopt;
    return std::move(builder.root);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<json> read_json_in_situ(char* text, std::size_t size) { return parse_in_situ(text, size, nullptr); }

std::optional<Request> read_request_in_situ(char* text, std::size_t size) {
  Request request;
  auto value = parse_in_situ(text, size, &request.long_strings);
  if (!value) return std::nullopt;
  request.value = std::move(*value);
  return request;
}

std::optional<json> read_json(std::string_view text) {
  const auto copy = std::make_unique_for_overwrite<char[]>(text.size() + JSON_PADDING);
  std::memcpy(copy.get(), text.data(), text.size());
  return read_json_in_situ(copy.get(), text.size());
}

std::expected<void, JsonStop> read_json_events(char* text, std::size_t size, JsonEvents& events) {
  std::memset(text + size, 0, JSON_PADDING);
  bool unusual = false;
  detail::ScannedStream stream(text, unusual);
  EventsAdapter adapter(events, unusual, text);
  rapidjson::Reader reader;
  const auto ok = reader.Parse<PARSE_FLAGS>(stream, adapter);
  if (adapter.stop) {
    JsonStop stop = *adapter.stop;
    if (stop.reason == JsonStop::Reason::TooDeep) stop.offset = ok.Offset();
    return std::unexpected(stop);
  }
  if (ok.IsError()) {
    const auto reason = ok.Code() == rapidjson::kParseErrorTermination ? JsonStop::Reason::Events : JsonStop::Reason::Syntax;
    return std::unexpected(JsonStop{reason, ok.Offset(), rapidjson::GetParseError_En(ok.Code())});
  }
  // A NUL byte ended the in-situ text early.
  if (stream.Tell() != size) {
    return std::unexpected(
        JsonStop{JsonStop::Reason::Syntax, stream.Tell(), rapidjson::GetParseError_En(rapidjson::kParseErrorDocumentRootNotSingular)});
  }
  return {};
}

std::optional<json> read_json_file(std::string_view text) {
  constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
  if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
  return read_json(text);
}

}  // namespace tessiva::messages
