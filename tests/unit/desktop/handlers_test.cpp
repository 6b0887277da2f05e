#include "desktop/handlers.h"

#include <gtest/gtest.h>

#include "codec/base64.h"
#include "messages/protocol.h"
#include "messages/reply.h"

namespace tessiva::desktop {
namespace {

using nlohmann::json;
using platform::HandlerInfo;

std::vector<std::byte> png_of_size(std::size_t size) {
  std::vector<std::byte> png(size, std::byte{0x41});
  return png;
}

HandlerInfo info(std::string id, std::string name, std::optional<std::size_t> icon_size = std::nullopt,
                 bool recommended = false) {
  HandlerInfo h{std::move(id), std::move(name), std::nullopt, recommended};
  if (icon_size) h.icon_png = png_of_size(*icon_size);
  return h;
}

/// The reply text that the channel would write for `result`.
std::string reply_text(const json& request, const json& result) {
  return messages::write_compact(messages::success_reply(request.value("id", json(nullptr)), result));
}

TEST(ShellExt, ValidationAndLowering) {
  const std::string longest(32, 'z');
  const struct {
    json ext;
    std::optional<std::string> want;
  } cases[] = {
      {"pdf", "pdf"},
      {"PDF", "pdf"},
      {"Tar_GZ-7", "tar_gz-7"},
      {longest, longest},
      {std::string(16, 'A') + std::string(16, 'b'), std::string(32, 'a').replace(16, 16, 16, 'b')},
      {longest + "z", std::nullopt},
      {"", std::nullopt},
      {".pdf", std::nullopt},
      {"tar.gz", std::nullopt},
      {"pdf ", std::nullopt},
      {"p/f", std::nullopt},
      {"\xC3\xA9", std::nullopt},  // é
      {"\xC3\x89", std::nullopt},  // É is not lowered either
      {std::string("p\0f", 3), std::nullopt},
      {7, std::nullopt},
      {nullptr, std::nullopt},
      {json::array({"pdf"}), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(normalized_ext(json{{"type", "list_handlers"}, {"ext", c.ext}}), c.want) << c.ext.dump();
  }
  EXPECT_EQ(normalized_ext(json{{"type", "list_handlers"}}), std::nullopt);
}

TEST(ShellListHandlers, PassesTheLoweredExtAndTheIconsFlag) {
  std::vector<std::pair<std::string, bool>> calls;
  const ListHandlerInfos list = [&](std::string_view ext, bool icons) {
    calls.emplace_back(std::string(ext), icons);
    return std::vector<HandlerInfo>{};
  };
  const struct {
    json icons;
    bool want;
  } cases[] = {{true, true}, {false, false}, {"true", false}, {1, false}, {nullptr, false}};
  for (const auto& c : cases) {
    calls.clear();
    const auto result = list_handlers_with(json{{"ext", "PDF"}, {"icons", c.icons}}, list);
    ASSERT_TRUE(result) << c.icons.dump();
    EXPECT_EQ(*result, json::parse(R"({"handlers":[]})"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(std::string("pdf"), c.want)) << c.icons.dump();
  }
  calls.clear();
  ASSERT_TRUE(list_handlers_with(json{{"ext", "pdf"}}, list));
  EXPECT_EQ(calls.at(0).second, false);

  for (const json& request : {json{{"ext", ".pdf"}}, json::object(), json{{"ext", ""}}}) {
    calls.clear();
    EXPECT_EQ(list_handlers_with(request, list), std::unexpected(messages::HostError::invalid_request()));
    EXPECT_TRUE(calls.empty()) << "nothing is enumerated for an invalid request";
  }
}

TEST(ShellListHandlers, EntriesKeepTheirOrderAndCarryBase64Icons) {
  std::vector<HandlerInfo> infos{info("b.exe", "Same", std::nullopt, true), info("a.exe", "Same", 3),
                                 info("c.exe", "\"Q\"", 0)};  // an empty icon is no icon
  const std::string want = R"({"handlers":[{"icon_png":null,"id":"b.exe","name":"Same","recommended":true},)"
                           R"({"icon_png":"QUFB","id":"a.exe","name":"Same","recommended":false},)"
                           R"({"icon_png":null,"id":"c.exe","name":"\"Q\"","recommended":false}]})";
  EXPECT_EQ(messages::write_compact(handlers_result(infos, messages::MAX_REPLY_SIZE)), want);
  // The size worked out for the limit is the written size, to the byte.
  EXPECT_EQ(messages::write_compact(handlers_result(infos, want.size())), want);
  EXPECT_EQ(messages::write_compact(handlers_result(infos, want.size() - 1)),
            R"({"handlers":[{"icon_png":null,"id":"b.exe","name":"Same","recommended":true},)"
            R"({"icon_png":null,"id":"a.exe","name":"Same","recommended":false},)"
            R"({"icon_png":null,"id":"c.exe","name":"\"Q\"","recommended":false}]})");
}

TEST(ShellListHandlers, LargestIconsAreDroppedFromTheEndUntilTheReplyFits) {
  // 101 handlers, each with the largest icon there can be (256 x 256): about 342 KiB of
  // base64 each, so only the first two fit into one reply.
  constexpr std::size_t LARGEST_PNG = 262488;
  std::vector<HandlerInfo> infos;
  for (int i = 0; i < 101; ++i) infos.push_back(info("C:\\Programs\\app" + std::to_string(i) + ".exe",
                                                     "App " + std::to_string(i), LARGEST_PNG));
  for (const json& id : {json(nullptr), json(12), json(std::string(50000, 'i'))}) {
    const json request{{"type", "list_handlers"}, {"id", id}, {"ext", "pdf"}, {"icons", true}};
    const auto result = list_handlers_with(request, [&](std::string_view, bool) { return infos; });
    ASSERT_TRUE(result);
    const std::string text = reply_text(request, *result);
    EXPECT_LE(text.size(), messages::MAX_REPLY_SIZE);
    const json& handlers = (*result)["handlers"];
    ASSERT_EQ(handlers.size(), 101u);
    constexpr std::size_t want_icons = 2;
    for (std::size_t i = 0; i < handlers.size(); ++i) {
      EXPECT_EQ(handlers[i]["id"], infos[i].id);
      EXPECT_EQ(handlers[i]["icon_png"].is_string(), i < want_icons) << i;
    }
    EXPECT_EQ(handlers[0]["icon_png"], codec::base64_encode(*infos[0].icon_png));
  }
}

TEST(ShellListHandlers, AReplyOfExactlyTheLimitKeepsEveryIcon) {
  // Two entries whose reply, with a name tuned for it, is exactly MAX_REPLY_SIZE long;
  // one byte more of id and the last icon must go, the first stays.
  std::vector<HandlerInfo> infos{info("first", "F", 400000), info("second", "S", 300000)};
  const json request{{"id", "x"}, {"ext", "pdf"}};
  const std::size_t untuned = reply_text(request, handlers_result(infos, SIZE_MAX)).size();
  ASSERT_LT(untuned, messages::MAX_REPLY_SIZE);
  infos[0].name += std::string(messages::MAX_REPLY_SIZE - untuned, 'n');

  const json fits = *list_handlers_with(request, [&](std::string_view, bool) { return infos; });
  EXPECT_EQ(reply_text(request, fits).size(), messages::MAX_REPLY_SIZE);
  EXPECT_TRUE(fits["handlers"][0]["icon_png"].is_string());
  EXPECT_TRUE(fits["handlers"][1]["icon_png"].is_string());

  const json longer{{"id", "xy"}, {"ext", "pdf"}};
  const json capped = *list_handlers_with(longer, [&](std::string_view, bool) { return infos; });
  EXPECT_LE(reply_text(longer, capped).size(), messages::MAX_REPLY_SIZE);
  EXPECT_TRUE(capped["handlers"][0]["icon_png"].is_string());
  EXPECT_TRUE(capped["handlers"][1]["icon_png"].is_null());
}

TEST(ShellListHandlers, EntriesGoFromTheEndWhenEvenTheTextsDoNotFit) {
  std::vector<HandlerInfo> infos;
  for (int i = 0; i < 30; ++i) infos.push_back(info("id" + std::to_string(i), std::string(50000, 'a' + i % 26), 10));
  const json request{{"id", 1}, {"ext", "pdf"}};
  const json result = *list_handlers_with(request, [&](std::string_view, bool) { return infos; });
  const std::string text = reply_text(request, result);
  EXPECT_LE(text.size(), messages::MAX_REPLY_SIZE);
  const json& handlers = result["handlers"];
  ASSERT_GT(handlers.size(), 15u);
  ASSERT_LT(handlers.size(), 30u);
  for (std::size_t i = 0; i < handlers.size(); ++i) {
    EXPECT_EQ(handlers[i]["id"], infos[i].id);
    EXPECT_TRUE(handlers[i]["icon_png"].is_null());
  }
  // The next entry would not have fitted.
  const HandlerInfo& next = infos[handlers.size()];
  const json next_entry{{"icon_png", nullptr}, {"id", next.id}, {"name", next.name}, {"recommended", false}};
  EXPECT_GT(text.size() + messages::write_compact(next_entry).size() + 1, messages::MAX_REPLY_SIZE);
}

}  // namespace
}  // namespace tessiva::desktop
