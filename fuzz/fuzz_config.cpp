// Fuzz target for the settings parser: config.json text, and the same bytes read as a
// parsed value. Checks that nothing crashes, that the text and value readers agree,
// and that every record read back from its own config.json text is the same record.

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "config/config.h"
#include "config/reader.h"
#include "config/validation.h"
#include "config/writer.h"

namespace {

using tessiva::config::Config;

constexpr int MAX_DEPTH = 127;

/// Written text and reply value both read back to `config`.
void check_round_trip(const Config& config) {
  (void)tessiva::config::validate_config(config);
  const auto from_text = tessiva::config::parse_config_text(tessiva::config::write_config_json(config));
  if (!from_text || *from_text != config) std::abort();
  const nlohmann::json value = tessiva::config::config_to_json(config);
  const auto from_value = tessiva::config::parse_config_value(value);
  if (!from_value || *from_value != config) std::abort();
  (void)value.dump();  // throws on malformed UTF-8, which parsing must have refused
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto from_text = tessiva::config::parse_config_text(text);
  if (from_text) check_round_trip(*from_text);

  nlohmann::json value;
  try {
    value = nlohmann::json::parse(text, [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
      if (depth > MAX_DEPTH) throw std::length_error("too deep");
      return true;
    });
  } catch (const std::exception&) {
    // Text that the reader accepted is also JSON to nlohmann.
    if (from_text) std::abort();
    return 0;
  }
  const auto from_value = tessiva::config::parse_config_value(value);
  if (from_value) check_round_trip(*from_value);
  // With no duplicate member, the two readers see the same record.
  if (from_text && (!from_value || *from_value != *from_text)) std::abort();
  return 0;
}
