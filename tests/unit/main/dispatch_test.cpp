#include "main/dispatch.h"

#include <gtest/gtest.h>

#include "messages/reply.h"
#include "platform/process.h"

namespace tessiva::app {
namespace {

using nlohmann::json;

std::string reply_to(const json& request) {
  HostState state;
  messages::Request r(request);
  return messages::write_reply(dispatch(state, r));
}

TEST(Dispatch, EchoesTheIdOfAnyType) {
  const std::string result = R"({"host_version":"0.1.0","platform":")" + std::string(platform::PLATFORM_NAME) +
                             R"(","protocol":1})";
  EXPECT_EQ(reply_to({{"type", "hello"}}), R"({"id":null,"ok":true,"result":)" + result + "}");
  for (const char* id : {"null", "\"abc\"", "-1.5", "7", "true", "{\"x\":[1,{}]}", "[1,\"2\"]"}) {
    json request = {{"type", "hello"}, {"path", "C:\\x"}};
    request["id"] = json::parse(id);
    EXPECT_EQ(reply_to(request), std::string(R"({"id":)") + id + R"(,"ok":true,"result":)" + result + "}");
  }
}

TEST(Dispatch, UnknownTypes) {
  for (const json& request : {json::object(), json{{"type", 5}}, json{{"type", nullptr}}, json{{"type", "Hello"}},
                              json{{"type", "hello "}}, json{{"type", ""}}, json{{"type", "format_disk"}},
                              json{{"type", json::array({"hello"})}}}) {
    json with_id = request;
    with_id["id"] = 3;
    EXPECT_EQ(reply_to(with_id), R"({"error":{"code":"unknown_request"},"id":3,"ok":false})") << request.dump();
  }
}

TEST(Dispatch, NonObjectsAreInvalidWithANullId) {
  for (const json& request : {json::array({{{"id", 1}, {"type", "hello"}}}), json("hello"), json(1), json(nullptr)}) {
    EXPECT_EQ(reply_to(request), R"({"error":{"code":"invalid_request"},"id":null,"ok":false})");
  }
}

TEST(Dispatch, SettingsAreReadOnlyByTheRequestsThatNeedThem) {
  HostState state;
  int reads = 0;
  state.settings = [&] {
    ++reads;
    return config::default_config();
  };
  const auto send = [&](const json& request) {
    messages::Request r(request);
    return messages::write_reply(dispatch(state, r));
  };
  // Neither "hello", nor a chunk, nor a request refused before it needs them reads
  // the settings.
  for (const json& request : {json{{"type", "hello"}}, json{{"type", "transfer_chunk"}, {"transfer_id", "t9"}},
                              json{{"type", "finish_transfer"}, {"transfer_id", "t9"}},
                              json{{"type", "open_file"}}, json{{"type", "reveal"}, {"path", 1}}}) {
    (void)send(request);
    EXPECT_EQ(reads, 0) << request.dump();
  }
  // Each request that needs them reads them afresh.
  for (int n = 1; n <= 2; ++n) {
    EXPECT_EQ(send({{"type", "reveal"}, {"path", "no such file 7c1d"}}),
              R"({"error":{"code":"invalid_request"},"id":null,"ok":false})");
    EXPECT_EQ(reads, n);
  }
}

}  // namespace
}  // namespace tessiva::app
