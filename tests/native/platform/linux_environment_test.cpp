// The Linux platform's reading of the environment: XDG folders, the user-dirs
// configuration and the language of the locale.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "i18n/language.h"
#include "platform/folders.h"
#include "platform/linux/user_dirs.h"
#include "temp_folder.h"

namespace tessiva::platform {
namespace {

/// Sets environment variables (none: unset) for one test and puts back what was there.
class Environment {
 public:
  void set(const char* name, std::optional<std::string> value) {
    if (!saved_.contains(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LinuxUserDirs, ReadsTheDocumentsLineAsTheShellWould) {
  Environment env;
  env.set("HOME", "/home/u");
  const std::pair<std::string_view, std::optional<std::string>> cases[] = {
      {"XDG_DOCUMENTS_DIR=\"$HOME/Docs\"", "/home/u/Docs"},
      {"  XDG_DOCUMENTS_DIR=\"$HOME/My Docs\"  # note", "/home/u/My Docs"},
      {"XDG_DOCUMENTS_DIR=\"$HOME\"", "/home/u"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/\"", "/home/u"},
      {"XDG_DOCUMENTS_DIR=\"/srv/docs\"", "/srv/docs"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/a \\\"q\\\" \\\\b $x\"", "/home/u/a \"q\" \\b $x"},
      {"XDG_DOCUMENTS_DIR=\"$HOMEX/docs\"", std::nullopt},
      {"XDG_DOCUMENTS_DIR=\"docs\"", std::nullopt},
      {"XDG_DOCUMENTS_DIR=\"$HOME/open", std::nullopt},
      {"XDG_DOCUMENTS_DIR=$HOME/docs", std::nullopt},
      {"# XDG_DOCUMENTS_DIR=\"$HOME/docs\"", std::nullopt},
      {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"", std::nullopt},
  };
  for (const auto& [line, want] : cases) EXPECT_EQ(documents_from_user_dirs_line(line), want) << line;
}

TEST(LinuxFolders, FollowTheXdgVariablesAndTheirDefaults) {
  test::TempFolder temp;
  const std::string home = temp.path();
  Environment env;
  env.set("HOME", home);
  env.set("XDG_CONFIG_HOME", std::nullopt);
  env.set("XDG_CACHE_HOME", std::nullopt);
  EXPECT_EQ(program_folder(ProgramFolder::Settings, "Tessiva"), home + "/.config/tessiva");
  EXPECT_EQ(program_folder(ProgramFolder::Transfers, "Tessiva"), home + "/.cache/tessiva/transfers");
  EXPECT_EQ(program_folder(ProgramFolder::Documents, "Tessiva"), home + "/Documents");

  // Relative values are ignored, as the XDG rules ask.
  env.set("XDG_CONFIG_HOME", "relative/config");
  EXPECT_EQ(program_folder(ProgramFolder::Settings, "Tessiva"), home + "/.config/tessiva");
  env.set("XDG_CONFIG_HOME", home + "/cfg");
  env.set("XDG_CACHE_HOME", home + "/cache");
  EXPECT_EQ(program_folder(ProgramFolder::Settings, "Tessiva"), home + "/cfg/tessiva");
  EXPECT_EQ(program_folder(ProgramFolder::Transfers, "Tessiva"), home + "/cache/tessiva/transfers");

  // The user-dirs file inside the configuration folder names the documents folder; the
  // last line that sets it wins.
  std::filesystem::create_directories(home + "/cfg");
  std::ofstream(home + "/cfg/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/First\"\n"
                                                 "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                 "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"";
  EXPECT_EQ(program_folder(ProgramFolder::Documents, "Tessiva"), home + "/Dokumente");
  std::ofstream(home + "/cfg/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n";
  EXPECT_EQ(program_folder(ProgramFolder::Documents, "Tessiva"), home + "/Documents");

  env.set("HOME", std::nullopt);
  env.set("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(program_folder(ProgramFolder::Settings, "Tessiva"), std::nullopt);
  EXPECT_EQ(program_folder(ProgramFolder::Documents, "Tessiva"), std::nullopt);
}

TEST(LinuxLanguage, TheFirstSetVariableDecides) {
  Environment env;
  struct Case {
    std::optional<std::string> language, lc_all, lc_messages, lang;
    i18n::Language want;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, i18n::Language::En},
      {std::nullopt, std::nullopt, std::nullopt, "es_ES.UTF-8", i18n::Language::Es},
      {std::nullopt, std::nullopt, "pt_BR.UTF-8", "es_ES.UTF-8", i18n::Language::PtBr},
      {std::nullopt, "de_DE.UTF-8", "pt_BR.UTF-8", "es_ES.UTF-8", i18n::Language::En},
      {"es:pt", "pt_BR.UTF-8", std::nullopt, std::nullopt, i18n::Language::Es},
      {"pt_PT:es", std::nullopt, std::nullopt, "es_ES.UTF-8", i18n::Language::PtBr},
      {"fr:es", std::nullopt, std::nullopt, "es_ES.UTF-8", i18n::Language::En},
      // Empty values count as unset.
      {"", "", "", "pt_BR.UTF-8", i18n::Language::PtBr},
  };
  for (const auto& c : cases) {
    env.set("LANGUAGE", c.language);
    env.set("LC_ALL", c.lc_all);
    env.set("LC_MESSAGES", c.lc_messages);
    env.set("LANG", c.lang);
    EXPECT_EQ(i18n::ui_language("auto"), c.want) << c.language.value_or("-") << " " << c.lang.value_or("-");
  }
  env.set("LANGUAGE", "es");
  EXPECT_EQ(i18n::ui_language("en"), i18n::Language::En);  // a chosen language wins
}

}  // namespace
}  // namespace tessiva::platform
