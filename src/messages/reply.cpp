#include "messages/reply.h"

#include <array>
#include <charconv>
#include <cmath>

#include "text/utf.h"

namespace tessiva::messages {
namespace {

using nlohmann::json;

/// What the generic writer does with everything this one leaves to it (text that is
/// not valid UTF-8, binary values): the same format, with U+FFFD for bad bytes.
void append_generic(std::string& out, const json& value) {
  out += value.dump(-1, ' ', false, json::error_handler_t::replace);
}

constexpr char HEX[] = "0123456789abcdef";

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  // Only text with a byte above 0x7F can be invalid; such text is rare, and handed to
  // the generic writer when it is.
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      if (!text::is_valid_utf8(text)) return append_generic(out, json(std::string(text)));
      break;
    }
  }
  out.push_back('"');
  std::size_t plain = 0;  // start of the run of bytes not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
    out.push_back('\\');
    switch (c) {
      case '"': out.push_back('"'); break;
      case '\\': out.push_back('\\'); break;
      case '\b': out.push_back('b'); break;
      case '\t': out.push_back('t'); break;
      case '\n': out.push_back('n'); break;
      case '\f': out.push_back('f'); break;
      case '\r': out.push_back('r'); break;
      default:
        out.append("u00");
        out.push_back(HEX[c >> 4]);
        out.push_back(HEX[c & 0xF]);
    }
  }
  out.append(text.data() + plain, text.size() - plain);
  out.push_back('"');
}

namespace {

template <class Number>
void append_integer(std::string& out, Number n) {
  std::array<char, 24> digits;
  const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), n).ptr;
  out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

void append_value(std::string& out, const json& value) {
  switch (value.type()) {
    case json::value_t::null: out.append("null"); return;
    case json::value_t::boolean: out.append(value.get<bool>() ? "true" : "false"); return;
    case json::value_t::number_integer: append_integer(out, value.get<json::number_integer_t>()); return;
    case json::value_t::number_unsigned: append_integer(out, value.get<json::number_unsigned_t>()); return;
    case json::value_t::number_float: {
      const double x = value.get<double>();
      if (!std::isfinite(x)) {
        out.append("null");
        return;
      }
      // The generic writer's own shortest round-trip form, so that every number comes
      // out exactly as it did before.
      std::array<char, 64> digits;
      const char* end = nlohmann::detail::to_chars(digits.data(), digits.data() + digits.size(), x);
      out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
      return;
    }
    case json::value_t::string: append_json_string(out, value.get_ref<const std::string&>()); return;
    case json::value_t::array: {
      out.push_back('[');
      bool first = true;
      for (const json& element : value.get_ref<const json::array_t&>()) {
        if (!first) out.push_back(',');
        first = false;
        append_value(out, element);
      }
      out.push_back(']');
      return;
    }
    case json::value_t::object: {
      out.push_back('{');
      bool first = true;
      // The object's map keeps its keys in ascending byte order.
      for (const auto& [key, element] : value.get_ref<const json::object_t&>()) {
        if (!first) out.push_back(',');
        first = false;
        append_json_string(out, key);
        out.push_back(':');
        append_value(out, element);
      }
      out.push_back('}');
      return;
    }
    case json::value_t::binary:
    case json::value_t::discarded: append_generic(out, value); return;
  }
}

}  // namespace

json success_reply(json id, json result) {
  json reply = json::object();
  reply["id"] = std::move(id);
  reply["ok"] = true;
  reply["result"] = std::move(result);
  return reply;
}

json error_reply(json id, const HostError& error) {
  json body = json::object();
  body["code"] = std::string(error.code);
  if (error.detail) body["detail"] = *error.detail;
  json reply = json::object();
  reply["error"] = std::move(body);
  reply["id"] = std::move(id);
  reply["ok"] = false;
  return reply;
}

void append_compact(std::string& out, const json& value) { append_value(out, value); }

std::string write_compact(const json& value) {
  std::string out;
  append_value(out, value);
  return out;
}

void append_reply(std::string& out, const Reply& reply) {
  // The members in the order the compact form puts them: "error" < "id" < "ok" <
  // "result", and "code" < "detail".
  if (reply.outcome) {
    out.append(R"({"id":)");
    append_value(out, reply.id);
    out.append(R"(,"ok":true,"result":)");
    if (!reply.written_result.empty())
      out.append(reply.written_result);
    else
      append_value(out, *reply.outcome);
    out.push_back('}');
    return;
  }
  const HostError& error = reply.outcome.error();
  out.append(R"({"error":{"code":)");
  append_json_string(out, error.code);
  if (error.detail) {
    out.append(R"(,"detail":)");
    append_json_string(out, *error.detail);
  }
  out.append(R"(},"id":)");
  append_value(out, reply.id);
  out.append(R"(,"ok":false})");
}

std::string write_reply(const Reply& reply) {
  std::string out;
  append_reply(out, reply);
  return out;
}

std::string write_indented(const nlohmann::ordered_json& value) {
  return value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tessiva::messages
