#include "open/launch_job.h"

#include <gtest/gtest.h>

#include "codec/hex.h"
#include "open/launcher.h"

namespace tessiva::open {
namespace {

struct TextCase {
  const char* what;
  LaunchJob job;
  std::string text;
};

TEST(LaunchJob, TextHasTheFixedMemberOrderAndReplyEscaping) {
  const TextCase cases[] = {
      {"app",
       {Launch::App{"C:\\Program Files\\V\\v.exe", "-x \"{file}\""}, "C:\\Users\\r\\Report.pdf"},
       R"({"launch":{"kind":"app","exe":"C:\\Program Files\\V\\v.exe","args":"-x \"{file}\""},)"
       R"("file":"C:\\Users\\r\\Report.pdf"})"},
      {"handler",
       {Launch::Handler{"Acro Reader.exe", "pdf"}, "D:\\a.pdf"},
       R"({"launch":{"kind":"handler","handler_id":"Acro Reader.exe","ext":"pdf"},"file":"D:\\a.pdf"})"},
      {"reveal", {Launch::Reveal{}, "C:\\x"}, R"({"launch":{"kind":"reveal"},"file":"C:\\x"})"},
      {"control characters and non-ASCII",
       {Launch::App{"", "a\tb\n\x01\x1f\x7f/"}, "C:\\\xc3\xa9t\xc3\xa9\\\xe2\x82\xac.txt"},
       "{\"launch\":{\"kind\":\"app\",\"exe\":\"\",\"args\":\"a\\tb\\n\\u0001\\u001f\x7f/\"},"
       "\"file\":\"C:\\\\\xc3\xa9t\xc3\xa9\\\\\xe2\x82\xac.txt\"}"},
      {"text that is not UTF-8 becomes U+FFFD",
       {Launch::Reveal{}, "C:\\a\xff" "b"},
       "{\"launch\":{\"kind\":\"reveal\"},\"file\":\"C:\\\\a\xef\xbf\xbd" "b\"}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(job_text(c.job), c.text) << c.what;
    EXPECT_EQ(encode_job(c.job), codec::hex_encode(c.text)) << c.what;
  }
  EXPECT_TRUE(encode_job(cases[2].job).starts_with("7b226c61756e6368223a7b"));
}

TEST(LaunchJob, HexRoundTripKeepsEveryByte) {
  const LaunchJob jobs[] = {
      {Launch::App{"C:\\Programme\\\xc3\x9c" "ber.exe", "  --x {file} {file} "}, "C:\\Users\\Jos\xc3\xa9\\\xe6\x96\x87.pdf"},
      {Launch::Handler{"\xf0\x9f\x98\x80 \"q\" \\", "tar.gz"}, "\\\\server\\share\\\xce\xb1.txt"},
      {Launch::Reveal{}, "C:\\caf\xc3\xa9"},
  };
  for (const auto& job : jobs) {
    const std::string hex = encode_job(job);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(decode_job(hex), job) << hex;
  }
}

TEST(LaunchJob, ReaderAcceptsAnyOrderWhiteSpaceExtraMembersAndUpperCaseHex) {
  const LaunchJob app{Launch::App{"C:\\v.exe", ""}, "C:\\f"};
  const std::string texts[] = {
      R"({"file":"C:\\f","launch":{"args":"","exe":"C:\\v.exe","kind":"app"}})",
      " \r\n\t{ \"launch\" : {\"kind\":\"app\",\"exe\":\"C:\\\\v.exe\",\"args\":\"\",\"icon\":1} ,\"file\":\"C:\\\\f\","
      "\"extra\":[null]}\n",
      R"({"launch":{"kind":"handler","exe":"C:\\v.exe","args":"","kind":"app"},"file":"C:\\f"})",  // last kind wins
  };
  for (const auto& text : texts) EXPECT_EQ(parse_job_text(text), app) << text;

  std::string upper = encode_job(app);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(decode_job(upper), app);
}

TEST(LaunchJob, ChildRefusesAnythingButAWholeValidJob) {
  const std::string valid = encode_job({Launch::Reveal{}, "C:\\x"});
  const std::string refused_hex[] = {
      "",
      valid.substr(1),                 // odd length
      valid.substr(0, valid.size() - 1),
      "7g" + valid.substr(2),          // not a digit
      "0x" + valid,
      valid.substr(0, 4) + " " + valid.substr(5),
      valid.substr(0, 6) + "-1" + valid.substr(8),
  };
  for (const auto& hex : refused_hex) {
    EXPECT_FALSE(decode_job(hex)) << hex;
    EXPECT_EQ(run_launch_job(hex), 1) << hex;
  }

  using namespace std::literals;
  const std::string_view refused_texts[] = {
      R"({"launch":{"kind":"open"},"file":"C:\\x"})",  // unknown kind
      R"({"launch":{"kind":"Reveal"},"file":"C:\\x"})",
      R"({"launch":{"kind":"default"},"file":"C:\\x"})",
      R"({"launch":{},"file":"C:\\x"})",
      R"({"launch":{"kind":"reveal"}})",
      R"({"file":"C:\\x"})",
      R"({"launch":{"kind":"app","exe":"C:\\v.exe"},"file":"C:\\x"})",
      R"({"launch":{"kind":"app","args":""},"file":"C:\\x"})",
      R"({"launch":{"kind":"handler","handler_id":"h"},"file":"C:\\x"})",
      R"({"launch":{"kind":"handler","ext":"pdf"},"file":"C:\\x"})",
      R"({"launch":{"kind":"reveal"},"file":5})",
      R"({"launch":{"kind":"reveal"},"file":null})",
      R"({"launch":{"kind":1},"file":"C:\\x"})",
      R"({"launch":"reveal","file":"C:\\x"})",
      R"({"launch":{"kind":"app","exe":null,"args":""},"file":"C:\\x"})",
      R"({"launch":{"kind":"app","exe":"C:\\v.exe","args":["-x"]},"file":"C:\\x"})",
      R"({"launch":{"kind":"handler","handler_id":7,"ext":"pdf"},"file":"C:\\x"})",
      R"({"launch":{"kind":"handler","handler_id":"h","ext":false},"file":"C:\\x"})",
      R"([{"launch":{"kind":"reveal"},"file":"C:\\x"}])",
      R"({"launch":{"kind":"reveal"},"file":"C:\\x"} x)",
      R"({"launch":{"kind":"reveal"},"file":"C:\\x")",
      "{\"launch\":{\"kind\":\"reveal\"},\"file\":\"C:\\\\x\xff\"}",  // not UTF-8
      "{\"launch\":{\"kind\":\"reveal\"},\"file\":\"C:\\\\x\"}\0"sv,  // a NUL after the object
  };
  for (const auto text : refused_texts) {
    EXPECT_FALSE(parse_job_text(text)) << text;
    EXPECT_EQ(run_launch_job(codec::hex_encode(text)), 1) << text;
  }
}

}  // namespace
}  // namespace tessiva::open
