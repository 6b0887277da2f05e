#include "config/reader.h"

#include <array>
#include <charconv>
#include <limits>

#include "config/fields.h"
#include "messages/json_reader.h"
#include "messages/reply.h"
#include "text/utf.h"

namespace tessiva::config {
namespace {

/// Longest text of the input that a message repeats. Replies are capped at 1 MiB, so a
/// message must not grow with the input.
constexpr std::size_t MAX_QUOTED_BYTES = 256;

constexpr std::string_view INVALID_UTF8_STRING = "invalid UTF-8 in a string";
constexpr std::string_view INVALID_UTF8_KEY = "invalid UTF-8 in a member name";

/// Where the next event lands. The value slots of `Config` come first, in field order,
/// then those of `App`, so a field's slot is its index plus an offset.
enum class Slot : std::uint8_t {
  Version, SaveFolder, NamePattern, Apps, TypeDefaults, Language, Theme, ShowDetectedApps, RevealAfterSave,
  AppId, AppName, AppPath, AppArgs, AppFileTypes,
  Root,          // the whole record
  ConfigMember,  // a member name of Config, or its end
  AppsElement,   // an App, or the end of `apps`
  AppMember,     // a member name of App, or its end
  FileType,      // an element of `file_types`, or its end
  DefaultKey,    // a key of `type_defaults`, or its end
  DefaultValue,  // the value of that key
  Done,
};

constexpr bool is_config_field(Slot s) noexcept { return s <= Slot::RevealAfterSave; }

/// True when the field slots stand in the order of `ConfigField`, then of `AppField`
/// (config/fields.h), so that a field's slot is its index plus its record's offset.
constexpr bool slots_follow_fields() noexcept {
  using enum Slot;
  const auto at = [](Slot s) { return static_cast<std::size_t>(s); };
  return at(Version) == static_cast<std::size_t>(ConfigField::Version) &&
         at(SaveFolder) == static_cast<std::size_t>(ConfigField::SaveFolder) &&
         at(NamePattern) == static_cast<std::size_t>(ConfigField::NamePattern) &&
         at(Apps) == static_cast<std::size_t>(ConfigField::Apps) &&
         at(TypeDefaults) == static_cast<std::size_t>(ConfigField::TypeDefaults) &&
         at(Language) == static_cast<std::size_t>(ConfigField::Language) &&
         at(Theme) == static_cast<std::size_t>(ConfigField::Theme) &&
         at(ShowDetectedApps) == static_cast<std::size_t>(ConfigField::ShowDetectedApps) &&
         at(RevealAfterSave) == static_cast<std::size_t>(ConfigField::RevealAfterSave) &&
         at(AppId) == CONFIG_FIELDS.size() + static_cast<std::size_t>(AppField::Id) &&
         at(AppName) == CONFIG_FIELDS.size() + static_cast<std::size_t>(AppField::Name) &&
         at(AppPath) == CONFIG_FIELDS.size() + static_cast<std::size_t>(AppField::Path) &&
         at(AppArgs) == CONFIG_FIELDS.size() + static_cast<std::size_t>(AppField::Args) &&
         at(AppFileTypes) == CONFIG_FIELDS.size() + static_cast<std::size_t>(AppField::FileTypes) &&
         at(Root) == CONFIG_FIELDS.size() + APP_FIELDS.size();
}

// `Builder::field` turns the index of a member name into a slot by adding it to the
// first slot of its record; `is_config_field` relies on the Config slots coming first.
static_assert(slots_follow_fields());
// The bits of the members that must be present: `version`, and `id`, `name`, `path`.
static_assert(ConfigField::Version == ConfigField{0});
static_assert(AppField::Id == AppField{0} && AppField::Name == AppField{1} && AppField::Path == AppField{2});

/// What was found where a value was expected.
struct Found {
  enum class Kind : std::uint8_t { Null, Boolean, Unsigned, Negative, Float, String, Sequence, Map, Bytes };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::uint64_t unsigned_value = 0;
  std::int64_t negative_value = 0;
  double float_value = 0;
  std::string_view text;

  static Found of(Kind k) {
    Found f;
    f.kind = k;
    return f;
  }
  static Found of_bool(bool v) {
    Found f = of(Kind::Boolean);
    f.boolean = v;
    return f;
  }
  /// Any integer: a negative one is kept apart from the unsigned range.
  static Found of_integer(std::int64_t v) {
    if (v >= 0) return of_unsigned(static_cast<std::uint64_t>(v));
    Found f = of(Kind::Negative);
    f.negative_value = v;
    return f;
  }
  static Found of_unsigned(std::uint64_t v) {
    Found f = of(Kind::Unsigned);
    f.unsigned_value = v;
    return f;
  }
  static Found of_float(double v) {
    Found f = of(Kind::Float);
    f.float_value = v;
    return f;
  }
  static Found of_string(std::string_view v) {
    Found f = of(Kind::String);
    f.text = v;
    return f;
  }
};

/// `text`, cut to at most MAX_QUOTED_BYTES at a character boundary, with "..." when cut.
void append_limited(std::string& out, std::string_view text) {
  if (text.size() <= MAX_QUOTED_BYTES) {
    out += text;
    return;
  }
  std::size_t n = MAX_QUOTED_BYTES;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  out += text.substr(0, n);
  out += "...";
}

template <typename T>
void append_number(std::string& out, T value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

std::string describe(const Found& f) {
  std::string out;
  switch (f.kind) {
    case Found::Kind::Null: return "null";
    case Found::Kind::Boolean: return f.boolean ? "boolean `true`" : "boolean `false`";
    case Found::Kind::Unsigned:
      out = "integer `";
      append_number(out, f.unsigned_value);
      break;
    case Found::Kind::Negative:
      out = "integer `";
      append_number(out, f.negative_value);
      break;
    case Found::Kind::Float: {
      out = "floating point `";
      const std::size_t start = out.size();
      append_number(out, f.float_value);
      // A whole number still reads as floating point: 1.0, not 1.
      if (out.find_first_of(".en", start) == std::string::npos) out += ".0";
      break;
    }
    case Found::Kind::String: {
      std::string shown;
      append_limited(shown, f.text);
      out = "string ";
      messages::append_json_string(out, shown);
      return out;
    }
    case Found::Kind::Sequence: return "sequence";
    case Found::Kind::Map: return "map";
    case Found::Kind::Bytes: return "byte array";
  }
  out += '`';
  return out;
}

std::string_view expected_for(Slot s) noexcept {
  switch (s) {
    case Slot::Root: return "struct Config";
    case Slot::AppsElement: return "struct App";
    case Slot::Version: return "u32";
    case Slot::ShowDetectedApps:
    case Slot::RevealAfterSave: return "a boolean";
    case Slot::Apps:
    case Slot::AppFileTypes: return "a sequence";
    case Slot::TypeDefaults: return "a map";
    default: return "a string";
  }
}

/// Builds a `Config` from a stream of JSON events, in whatever order they come. The
/// text reader and the walk over a parsed value both feed it, so both give the same
/// messages. Every method returns false once the first problem is recorded in
/// `error`; the structure allows at most four levels of nesting, so anything deeper is
/// refused before the caller descends into it.
class Builder {
 public:
  std::string error;

  [[nodiscard]] Config take() && { return std::move(config_); }

  bool scalar(const Found& f) {
    if (f.kind == Found::Kind::String && !text::is_valid_utf8(f.text)) return fail(std::string(INVALID_UTF8_STRING));
    const bool is_string = f.kind == Found::Kind::String;
    switch (slot_) {
      case Slot::Version:
        if (f.kind == Found::Kind::Unsigned && f.unsigned_value <= std::numeric_limits<std::uint32_t>::max()) {
          config_.version = static_cast<std::uint32_t>(f.unsigned_value);
          return member_done();
        }
        if (f.kind == Found::Kind::Unsigned || f.kind == Found::Kind::Negative) return invalid("value", f);
        return invalid("type", f);
      case Slot::SaveFolder:
        if (f.kind == Found::Kind::Null) {
          config_.save_folder.reset();
          return member_done();
        }
        if (is_string) config_.save_folder.emplace(f.text);
        break;
      case Slot::NamePattern:
      case Slot::Language:
      case Slot::Theme:
      case Slot::AppId:
      case Slot::AppName:
      case Slot::AppPath:
      case Slot::AppArgs:
        if (is_string) string_field(slot_).assign(f.text);
        break;
      case Slot::ShowDetectedApps:
      case Slot::RevealAfterSave:
        if (f.kind != Found::Kind::Boolean) return invalid("type", f);
        (slot_ == Slot::ShowDetectedApps ? config_.show_detected_apps : config_.reveal_after_save) = f.boolean;
        return member_done();
      case Slot::FileType:
        if (!is_string) return invalid("type", f);
        config_.apps.back().file_types.emplace_back(f.text);
        return true;
      case Slot::DefaultValue:
        if (!is_string) return invalid("type", f);
        config_.type_defaults.insert_or_assign(std::move(key_), std::string(f.text));
        slot_ = Slot::DefaultKey;
        return true;
      default:
        return invalid("type", f);
    }
    return is_string ? member_done() : invalid("type", f);
  }

  bool start_array() {
    switch (slot_) {
      case Slot::Apps: slot_ = Slot::AppsElement; return true;
      case Slot::AppFileTypes: slot_ = Slot::FileType; return true;
      default: return invalid("type", Found::of(Found::Kind::Sequence));
    }
  }

  bool end_array() {
    slot_ = slot_ == Slot::AppsElement ? Slot::ConfigMember : Slot::AppMember;
    return true;
  }

  bool start_object() {
    switch (slot_) {
      case Slot::Root: slot_ = Slot::ConfigMember; return true;
      case Slot::TypeDefaults: slot_ = Slot::DefaultKey; return true;
      case Slot::AppsElement:
        config_.apps.emplace_back();
        app_seen_ = 0;
        slot_ = Slot::AppMember;
        return true;
      default: return invalid("type", Found::of(Found::Kind::Map));
    }
  }

  bool key(std::string_view name) {
    if (!text::is_valid_utf8(name)) return fail(std::string(INVALID_UTF8_KEY));
    switch (slot_) {
      case Slot::ConfigMember: return field(name, CONFIG_FIELDS, config_seen_, Slot::Version);
      case Slot::AppMember: return field(name, APP_FIELDS, app_seen_, Slot::AppId);
      default:
        key_.assign(name);
        slot_ = Slot::DefaultValue;
        return true;
    }
  }

  bool end_object() {
    switch (slot_) {
      case Slot::ConfigMember:
        if (!(config_seen_ & 1u)) return fail(std::string("missing field `").append(field_name(ConfigField::Version)) + '`');
        slot_ = Slot::Done;
        return true;
      case Slot::AppMember:
        for (std::size_t i = 0; i < 3; ++i) {
          if (!(app_seen_ & (1u << i))) return fail(std::string("missing field `").append(APP_FIELDS[i]) + '`');
        }
        slot_ = Slot::AppsElement;
        return true;
      default:
        slot_ = Slot::ConfigMember;
        return true;
    }
  }

 private:
  Config config_;
  Slot slot_ = Slot::Root;
  std::uint32_t config_seen_ = 0;
  std::uint32_t app_seen_ = 0;
  std::string key_;

  bool fail(std::string message) {
    error = std::move(message);
    return false;
  }

  bool invalid(std::string_view what, const Found& f) {
    return fail(std::string("invalid ").append(what).append(": ") + describe(f) + ", expected " +
                std::string(expected_for(slot_)));
  }

  template <std::size_t N>
  bool field(std::string_view name, const std::array<std::string_view, N>& names, std::uint32_t& seen,
             Slot first) {
    for (std::size_t i = 0; i < N; ++i) {
      if (names[i] != name) continue;
      if (seen & (1u << i)) return fail(std::string("duplicate field `").append(name) + '`');
      seen |= 1u << i;
      slot_ = static_cast<Slot>(static_cast<std::size_t>(first) + i);
      return true;
    }
    std::string message = "unknown field `";
    append_limited(message, name);
    message += "`, expected one of ";
    for (std::size_t i = 0; i < N; ++i) message.append(i ? ", `" : "`").append(names[i]) += '`';
    return fail(std::move(message));
  }

  std::string& string_field(Slot s) {
    switch (s) {
      case Slot::NamePattern: return config_.name_pattern;
      case Slot::Language: return config_.language;
      case Slot::Theme: return config_.theme;
      case Slot::AppId: return config_.apps.back().id;
      case Slot::AppName: return config_.apps.back().name;
      case Slot::AppPath: return config_.apps.back().path;
      default: return config_.apps.back().args;
    }
  }

  bool member_done() {
    slot_ = is_config_field(slot_) ? Slot::ConfigMember : Slot::AppMember;
    return true;
  }
};

/// The JSON reader's events, handed to a `Builder`.
class TextEvents final : public messages::JsonEvents {
 public:
  explicit TextEvents(Builder& b) : b_(b) {}

  bool null() override { return b_.scalar(Found::of(Found::Kind::Null)); }
  bool boolean(bool v) override { return b_.scalar(Found::of_bool(v)); }
  bool unsigned_number(std::uint64_t v) override { return b_.scalar(Found::of_unsigned(v)); }
  bool negative_number(std::int64_t v) override { return b_.scalar(Found::of_integer(v)); }
  bool float_number(double v) override { return b_.scalar(Found::of_float(v)); }
  bool string(std::string_view text) override { return b_.scalar(Found::of_string(text)); }
  bool key(std::string_view name) override { return b_.key(name); }
  bool start_object() override { return b_.start_object(); }
  bool end_object() override { return b_.end_object(); }
  bool start_array() override { return b_.start_array(); }
  bool end_array() override { return b_.end_array(); }

 private:
  Builder& b_;
};

/// Feeds a parsed value to `b`, objects in key order. Stops at the builder's first
/// refusal, which also bounds the recursion.
bool walk(const nlohmann::json& v, Builder& b) {
  using json = nlohmann::json;
  using Type = json::value_t;
  switch (v.type()) {
    case Type::object:
      if (!b.start_object()) return false;
      for (auto it = v.cbegin(); it != v.cend(); ++it) {
        if (!b.key(it.key()) || !walk(it.value(), b)) return false;
      }
      return b.end_object();
    case Type::array:
      if (!b.start_array()) return false;
      for (const auto& element : v) {
        if (!walk(element, b)) return false;
      }
      return b.end_array();
    case Type::string: return b.scalar(Found::of_string(*v.get_ptr<const json::string_t*>()));
    case Type::boolean: return b.scalar(Found::of_bool(*v.get_ptr<const json::boolean_t*>()));
    // The channel stores non-negative integers as unsigned; values built in code may
    // hold them as signed.
    case Type::number_unsigned: return b.scalar(Found::of_unsigned(*v.get_ptr<const json::number_unsigned_t*>()));
    case Type::number_integer: return b.scalar(Found::of_integer(*v.get_ptr<const json::number_integer_t*>()));
    case Type::number_float: return b.scalar(Found::of_float(*v.get_ptr<const json::number_float_t*>()));
    case Type::binary: return b.scalar(Found::of(Found::Kind::Bytes));
    case Type::null:
    case Type::discarded: break;
  }
  return b.scalar(Found::of(Found::Kind::Null));
}

}  // namespace

std::expected<Config, std::string> parse_config_text(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) return std::unexpected("a byte-order mark is not allowed");
  // JSON allows no control character but tab, line feed and carriage return between
  // tokens, and none unescaped in strings. The reader refuses them as well; they are
  // looked for first so that the message says what is wrong.
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      return std::unexpected("the text holds a control character that JSON does not allow");
    }
  }
  // Read under the rules of every JSON text from outside, member by member in the
  // order of the text.
  std::string buffer(text.size() + messages::JSON_PADDING, '\0');
  text.copy(buffer.data(), text.size());
  Builder builder;
  TextEvents events(builder);
  if (const auto read = messages::read_json_events(buffer.data(), text.size(), events); !read) {
    using Reason = messages::JsonStop::Reason;
    switch (read.error().reason) {
      case Reason::Events: return std::unexpected(std::move(builder.error));
      case Reason::InvalidUtf8: return std::unexpected(std::string(INVALID_UTF8_STRING));
      case Reason::InvalidUtf8Key: return std::unexpected(std::string(INVALID_UTF8_KEY));
      case Reason::Syntax:
      case Reason::TooDeep: break;
    }
    std::string message = "invalid JSON at byte ";
    append_number(message, read.error().offset);
    return std::unexpected(message.append(": ").append(read.error().message));
  }
  return std::move(builder).take();
}

std::expected<Config, std::string> parse_config_value(const nlohmann::json& value) {
  Builder builder;
  if (!walk(value, builder)) return std::unexpected(std::move(builder.error));
  return std::move(builder).take();
}

}  // namespace tessiva::config
