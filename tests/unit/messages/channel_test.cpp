#include "messages/channel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "main/dispatch.h"
#include "messages/protocol.h"
#include "messages/reply.h"

namespace tessiva::messages {
namespace {

std::string frame(std::string_view body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  std::string out{char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
  return out.append(body);
}

/// Hands out its bytes in reads of at most `step` bytes, then reports the end, or a
/// failure when `fail_at_end` is set.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string data, std::size_t step = SIZE_MAX, bool fail_at_end = false)
      : data_(std::move(data)), step_(step), fail_at_end_(fail_at_end) {}
  platform::Result<std::size_t> read(std::span<std::byte> buffer) override {
    if (pos_ == data_.size() && fail_at_end_) return std::unexpected(platform::OsError{5, "denied"});
    const std::size_t n = std::min({buffer.size(), data_.size() - pos_, step_});
    std::memcpy(buffer.data(), data_.data() + pos_, n);
    pos_ += n;
    max_request_ = std::max(max_request_, buffer.size());
    return n;
  }
  std::size_t consumed() const { return pos_; }
  std::size_t max_request() const { return max_request_; }

 private:
  std::string data_;
  std::size_t pos_ = 0, step_, max_request_ = 0;
  bool fail_at_end_;
};

class MemorySink : public ByteSink {
 public:
  bool fail = false;
  std::string data;
  platform::Result<void> write(std::span<const std::byte> bytes) override {
    if (fail) return std::unexpected(platform::OsError{232, "pipe closing"});
    data.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return {};
  }
};

struct Run {
  ChannelEnd end;
  std::string output;
  int dispatched;
};

Run run(MemorySource source, const Dispatcher* custom = nullptr) {
  MemorySink sink;
  int calls = 0;
  app::HostState state;
  const Dispatcher normal = [&](Request& r) { return app::dispatch(state, r); };
  const Dispatcher& d = custom ? *custom : normal;
  const auto end = run_channel(source, sink, [&](Request& r) {
    ++calls;
    return d(r);
  });
  return {end, sink.data, calls};
}

Run run(std::string input) { return run(MemorySource(std::move(input))); }

const std::string INVALID = frame(R"({"error":{"code":"invalid_request"},"id":null,"ok":false})");

std::string hello_reply(int id) {
  app::HostState state;
  Request request(nlohmann::json{{"type", "hello"}, {"id", id}});
  return frame(write_reply(app::dispatch(state, request)));
}

std::string nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

TEST(Channel, EndsCleanlyAtOrInsideALengthPrefix) {
  for (std::string input : {std::string(), std::string("\x05", 1), std::string("\x05\x00", 2), std::string("\x05\x00\x00", 3)}) {
    const auto r = run(input);
    EXPECT_EQ(r.end, ChannelEnd::InputClosed);
    EXPECT_EQ(exit_code(r.end), 0);
    EXPECT_EQ(r.output, "");
  }
}

TEST(Channel, InputEndingInsideABodyIsAFailureWithoutReply) {
  const auto r = run(frame(R"({"type":"hello"})").substr(0, 10));
  EXPECT_EQ(r.end, ChannelEnd::ReadFailed);
  EXPECT_EQ(exit_code(r.end), 1);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(run(MemorySource("", SIZE_MAX, true)).end, ChannelEnd::ReadFailed);
}

TEST(Channel, RefusesAnOversizedLengthBeforeReadingTheBody) {
  MemorySource source(std::string("\x01\x00\x00\x01", 4) + std::string(100, ' '));
  MemorySink sink;
  const auto end = run_channel(source, sink, [](Request&) { return Reply{}; });
  EXPECT_EQ(end, ChannelEnd::MessageTooLarge);
  EXPECT_EQ(exit_code(end), 1);
  EXPECT_EQ(source.consumed(), 4u);
  EXPECT_EQ(sink.data, "");
}

TEST(Channel, AcceptsABodyOfExactlyTheLimitReadInBoundedCalls) {
  std::string body = R"({"type":"hello","pad":")";
  body += std::string(MAX_MESSAGE_SIZE - body.size() - 2, 'x') + "\"}";
  ASSERT_EQ(body.size(), MAX_MESSAGE_SIZE);
  MemorySource source(frame(body));
  MemorySink sink;
  app::HostState state;
  const auto end = run_channel(source, sink, [&](Request& r) { return app::dispatch(state, r); });
  EXPECT_EQ(end, ChannelEnd::InputClosed);
  EXPECT_TRUE(sink.data.find(R"("ok":true)") != std::string::npos);
  EXPECT_LE(source.max_request(), 1024u * 1024u);
}

// Reads ask for about what the input brings (under Wine every page of a read's buffer
// is touched first, whatever arrives), and for larger pieces while reads fill them.
TEST(Channel, ReadsAskForAboutWhatTheInputBrings) {
  std::string body = R"({"type":"hello","id":1,"pad":")";
  body += std::string(4 * 1024 * 1024, 'x') + "\"}";
  const auto largest_request = [&](std::size_t step) {
    MemorySource source(frame(body), step);
    MemorySink sink;
    app::HostState state;
    EXPECT_EQ(run_channel(source, sink, [&](Request& r) { return app::dispatch(state, r); }), ChannelEnd::InputClosed);
    EXPECT_EQ(sink.data, hello_reply(1));
    return source.max_request();
  };
  EXPECT_LE(largest_request(64 * 1024), 128u * 1024);  // a pipe of 64 KiB
  EXPECT_LE(largest_request(100 * 1000), 256u * 1024);
  EXPECT_EQ(largest_request(SIZE_MAX), 1024u * 1024);  // never more than 1 MiB
}

TEST(Channel, BadBodiesGetInvalidRequestAndTheLoopGoesOn) {
  const std::string hello = frame(R"({"type":"hello","id":7})");
  const std::string bodies[] = {
      "",
      "nope",
      "{\"type\":\"hello\"} x",
      "{\"type\":\"hello\"}{}",
      "{\"type\":\"hello\"}\f",
      "\v{\"type\":\"hello\"}",
      std::string("{\"type\":\"hello\"}\0", 17),
      std::string("{\"type\":\"he\0llo\"}", 17),
      "{\"type\":\"\xff\"}",
      "{\"\xc3\":1}",
      "{\"type\":\"\\udc00\"}",
      "{\"type\":\"\\ud800x\"}",
      "{\"a\":\"tab\there\"}",
      "{\"a\":1,}",
      "[1,]",
      "{\"a\":NaN}",
      "{\"a\":1e999}",
      "\xef\xbb\xbf{}",
      "\"unterminated",
      nested(128),
  };
  for (const auto& body : bodies) {
    const auto r = run(frame(body) + hello);
    EXPECT_EQ(r.end, ChannelEnd::InputClosed);
    EXPECT_EQ(r.dispatched, 1) << body.substr(0, 40);
    EXPECT_TRUE(r.output.starts_with(INVALID)) << body.substr(0, 40);
    EXPECT_EQ(r.output, INVALID + hello_reply(7)) << body.substr(0, 40);
  }
}

// A long string member reaches a handler that reads the request's value as if it had
// never been set aside.
TEST(Channel, LongStringsReachHandlersThatReadTheValue) {
  const std::string path = "//tmp/" + std::string(LONG_STRING_BYTES, 'p');
  const nlohmann::json request = {{"type", "app_info"}, {"id", 3}, {"path", path}};
  app::HostState state;
  Request direct(request);
  const std::string expected = frame(write_reply(app::dispatch(state, direct)));
  ASSERT_NE(expected.find("not_found"), std::string::npos) << expected;  // the path was looked at
  EXPECT_EQ(run(frame(request.dump())).output, expected);
}

TEST(Channel, AcceptsTheFourWhiteSpaceCharactersAroundTheValueAndDeepNesting) {
  for (const std::string& body : {std::string(" \t\r\n{\"type\":\"hello\",\"id\":7} \n\t\r"),
                                  R"({"type":"hello","id":7,"x":)" + nested(126) + "}"}) {
    const auto r = run(frame(body));
    EXPECT_EQ(r.output, hello_reply(7)) << body.substr(0, 40);
  }
}

TEST(Channel, AnswersFramesInOrderEvenWhenTheyArriveInOnePieceOrByteByByte) {
  const std::string input = frame(R"({"type":"hello","id":1})") + frame(R"({"type":"hello","id":2})");
  const std::string expected = hello_reply(1) + hello_reply(2);
  EXPECT_EQ(run(MemorySource(input)).output, expected);
  EXPECT_EQ(run(MemorySource(input, 1)).output, expected);
}

TEST(Channel, WritesAReplyOfExactlyTheLimitAndNothingOfALargerOne) {
  // The reply to hello is the envelope plus the id; size the id to hit the limit.
  const std::size_t envelope = hello_reply(0).size() - 4 - 1;
  const auto request_with_id_of = [&](std::size_t reply_size) {
    const std::string id(reply_size - envelope - 2, 'i');
    return frame(R"({"type":"hello","id":")" + id + "\"}");
  };
  const auto fits = run(request_with_id_of(MAX_REPLY_SIZE));
  EXPECT_EQ(fits.end, ChannelEnd::InputClosed);
  ASSERT_EQ(fits.output.size(), 4 + MAX_REPLY_SIZE);
  EXPECT_EQ(fits.output.substr(0, 4), std::string("\x00\x00\x10\x00", 4));

  const auto too_large = run(frame(R"({"type":"hello","id":1})") + request_with_id_of(MAX_REPLY_SIZE + 1) +
                             frame(R"({"type":"hello","id":3})"));
  EXPECT_EQ(too_large.end, ChannelEnd::ReplyTooLarge);
  EXPECT_EQ(exit_code(too_large.end), 1);
  EXPECT_EQ(too_large.output, hello_reply(1));
}

TEST(Channel, AWriteFailureEndsTheLoop) {
  MemorySource source(frame(R"({"type":"hello"})") + frame(R"({"type":"hello"})"));
  MemorySink sink;
  sink.fail = true;
  int calls = 0;
  const auto end = run_channel(source, sink, [&](Request&) {
    ++calls;
    return Reply{};
  });
  EXPECT_EQ(end, ChannelEnd::WriteFailed);
  EXPECT_EQ(exit_code(end), 1);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace tessiva::messages
