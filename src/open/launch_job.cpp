#include "open/launch_job.h"

#include <nlohmann/json.hpp>

#include "codec/hex.h"
#include "messages/json_reader.h"
#include "messages/reply.h"
#include "messages/request.h"
#include "text/visit.h"

namespace tessiva::open {
namespace {

using messages::string_member;

void append_member(std::string& out, std::string_view key, std::string_view value) {
  out += ',';
  messages::append_json_string(out, key);
  out += ':';
  messages::append_json_string(out, value);
}

std::optional<Launch> read_launch(const nlohmann::json& value) {
  if (!value.is_object()) return std::nullopt;
  const std::string* kind = string_member(value, "kind");
  if (!kind) return std::nullopt;
  if (*kind == "app") {
    const std::string* exe = string_member(value, "exe");
    const std::string* args = string_member(value, "args");
    if (!exe || !args) return std::nullopt;
    return Launch::App{*exe, *args};
  }
  if (*kind == "handler") {
    const std::string* handler_id = string_member(value, "handler_id");
    const std::string* ext = string_member(value, "ext");
    if (!handler_id || !ext) return std::nullopt;
    return Launch::Handler{*handler_id, *ext};
  }
  if (*kind == "reveal") return Launch::Reveal{};
  return std::nullopt;
}

}  // namespace

std::string job_text(const LaunchJob& job) {
  std::string out = "{\"launch\":{\"kind\":";
  std::visit(Overloaded{
                 [&](const Launch::App& app) {
                   messages::append_json_string(out, "app");
                   append_member(out, "exe", app.exe);
                   append_member(out, "args", app.args);
                 },
                 [&](const Launch::Handler& handler) {
                   messages::append_json_string(out, "handler");
                   append_member(out, "handler_id", handler.handler_id);
                   append_member(out, "ext", handler.ext);
                 },
                 [&](const Launch::Reveal&) { messages::append_json_string(out, "reveal"); },
             },
             static_cast<const Launch::variant&>(job.launch));
  out += '}';
  append_member(out, "file", job.file);
  out += '}';
  return out;
}

std::string encode_job(const LaunchJob& job) { return codec::hex_encode(job_text(job)); }

std::optional<LaunchJob> parse_job_text(std::string_view text) {
  const auto value = messages::read_json(text);
  if (!value || !value->is_object()) return std::nullopt;
  const auto launch_it = value->find("launch");
  if (launch_it == value->end()) return std::nullopt;
  auto launch = read_launch(*launch_it);
  const std::string* file = string_member(*value, "file");
  if (!launch || !file) return std::nullopt;
  return LaunchJob{std::move(*launch), *file};
}

std::optional<LaunchJob> decode_job(std::string_view hex) {
  const auto bytes = codec::hex_decode(hex);
  if (!bytes) return std::nullopt;
  return parse_job_text(*bytes);
}

}  // namespace tessiva::open
