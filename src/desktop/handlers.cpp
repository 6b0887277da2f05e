#include "desktop/handlers.h"

#include <algorithm>
#include <span>

#include "codec/base64.h"
#include "messages/protocol.h"
#include "messages/reply.h"
#include "messages/request.h"
#include "text/file_type.h"

namespace tessiva::desktop {
namespace {

using messages::HandlerResult;
using messages::HostError;
using nlohmann::json;

/// An icon worth sending: no PNG file is empty.
bool has_icon(const platform::HandlerInfo& info) { return info.icon_png && !info.icon_png->empty(); }

/// The entry of `info` with a null icon; the icon is put in once the entries that
/// keep theirs are known.
json entry_json(const platform::HandlerInfo& info) {
  json entry = json::object();
  entry["icon_png"] = nullptr;
  entry["id"] = info.id;
  entry["name"] = info.name;
  entry["recommended"] = info.recommended;
  return entry;
}

std::size_t base64_size(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

}  // namespace

std::optional<std::string> normalized_ext(const json& request) {
  const std::string* member = messages::string_member(request, "ext");
  if (!member) return std::nullopt;
  std::string ext = *member;
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (!text::is_file_type(ext)) return std::nullopt;
  return ext;
}

json handlers_result(const std::vector<platform::HandlerInfo>& infos, std::size_t max_bytes) {
  // The written size is worked out from the pieces rather than by writing every icon:
  // base64 text needs no escaping, so an icon is written as its base64 text in quotes,
  // where a missing one is the four characters of null.
  constexpr std::size_t NULL_SIZE = 4;
  const std::size_t count = infos.size();
  json handlers = json::array();
  handlers.get_ref<json::array_t&>().reserve(count);
  std::vector<std::size_t> plain(count);  // an entry's text without its icon value
  std::vector<std::size_t> icon(count, NULL_SIZE);
  std::size_t total = messages::write_compact(json{{"handlers", json::array()}}).size();
  for (std::size_t i = 0; i < count; ++i) {
    handlers.push_back(entry_json(infos[i]));
    plain[i] = messages::write_compact(handlers.back()).size() - NULL_SIZE;
    if (has_icon(infos[i])) icon[i] = base64_size(infos[i].icon_png->size()) + 2;
    total += plain[i] + icon[i] + (i > 0 ? 1 : 0);  // the comma before every entry but the first
  }
  std::size_t with_icons = count;
  while (total > max_bytes && with_icons > 0) {
    --with_icons;
    total = total - icon[with_icons] + NULL_SIZE;
  }
  std::size_t kept = count;
  while (total > max_bytes && kept > 0) {
    --kept;
    total -= plain[kept] + NULL_SIZE + (kept > 0 ? 1 : 0);
  }

  handlers.get_ref<json::array_t&>().resize(kept);
  for (std::size_t i = 0; i < std::min(kept, with_icons); ++i) {
    if (has_icon(infos[i])) handlers[i]["icon_png"] = codec::base64_encode(*infos[i].icon_png);
  }
  json result = json::object();
  result["handlers"] = std::move(handlers);
  return result;
}

std::size_t result_budget(const json& request) {
  const auto it = request.find("id");
  const json id = it == request.end() ? json(nullptr) : *it;
  // The envelope with an empty object as result, less the two characters of "{}".
  const std::size_t envelope = messages::write_compact(messages::success_reply(id, json::object())).size() - 2;
  return envelope >= messages::MAX_REPLY_SIZE ? 0 : messages::MAX_REPLY_SIZE - envelope;
}

HandlerResult list_handlers_with(const json& request, const ListHandlerInfos& list) {
  const auto ext = normalized_ext(request);
  if (!ext) return std::unexpected(HostError::invalid_request());
  const auto icons_it = request.find("icons");
  const bool icons = icons_it != request.end() && icons_it->is_boolean() && icons_it->get<bool>();
  return handlers_result(list(*ext, icons), result_budget(request));
}

HandlerResult handle_list_handlers(const json& request) {
  return list_handlers_with(request, [](std::string_view ext, bool icons) { return platform::handler_infos(ext, icons); });
}

}  // namespace tessiva::desktop
