#include "install/linux/sandbox.h"

#include <gtest/gtest.h>

namespace tessiva::install {
namespace {

TEST(Sandbox, TheWrapperNamesItsProgramBackWhateverThePath) {
  for (const char* host : {"/home/ana/.local/lib/tessiva/tessiva", "/home/ana b/it's/tessiva", "/h/'"}) {
    const std::string script = wrapper_script(host);
    EXPECT_EQ(wrapper_host(script), std::optional<std::string>(host)) << script;
  }
  EXPECT_NE(wrapper_script("/h/a b").find("--host '/h/a b' \"$@\"\n"), std::string::npos);
  // Anything but our own text is not our wrapper: a changed line, a relative program.
  std::string changed = wrapper_script("/h/t");
  changed.replace(changed.find("--host"), 6, "--sandbox");
  EXPECT_EQ(wrapper_host(changed), std::nullopt);
  EXPECT_EQ(wrapper_host(wrapper_script("t")), std::nullopt);
  EXPECT_EQ(wrapper_host("#!/bin/sh\nexec /h/t \"$@\"\n"), std::nullopt);
}

TEST(Sandbox, TheLastPolicyForTheNameDecides) {
  const std::string talk = "[Session Bus Policy]\norg.freedesktop.Flatpak=talk\n";
  const std::string none = "[Session Bus Policy]\norg.freedesktop.Flatpak=none\n";
  EXPECT_TRUE(may_talk_to({std::nullopt, talk}, "org.freedesktop.Flatpak"));
  EXPECT_FALSE(may_talk_to({talk, none}, "org.freedesktop.Flatpak"));
  EXPECT_TRUE(may_talk_to({none, "[Session Bus Policy]\n org.freedesktop.Flatpak = own \n"}, "org.freedesktop.Flatpak"));
  // Another group's key, another name, and a prefix that the exact policy overrules.
  EXPECT_FALSE(may_talk_to({"[System Bus Policy]\norg.freedesktop.Flatpak=talk\n"}, "org.freedesktop.Flatpak"));
  EXPECT_FALSE(may_talk_to({"[Session Bus Policy]\norg.freedesktop.FlatpakX=talk\n"}, "org.freedesktop.Flatpak"));
  EXPECT_TRUE(may_talk_to({"[Session Bus Policy]\norg.freedesktop.*=talk\n"}, "org.freedesktop.Flatpak"));
  EXPECT_FALSE(may_talk_to({"[Session Bus Policy]\norg.freedesktop.*=talk\n", none}, "org.freedesktop.Flatpak"));
}

}  // namespace
}  // namespace tessiva::install
