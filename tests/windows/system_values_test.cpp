#include "platform/windows/system_values.h"

#include <gtest/gtest.h>

#include "install/windows/uninstaller.h"
#include "open/launcher.h"

namespace tessiva::platform {
namespace {

TEST(SystemValues, CreationOptionsGiveTheDocumentedFlags) {
  // DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW, with and without
  // CREATE_BREAKAWAY_FROM_JOB; the removal: CREATE_NO_WINDOW | DETACHED_PROCESS.
  EXPECT_EQ(creation_flags(open::LAUNCH_OPTIONS), 0x09000208u);
  EXPECT_EQ(creation_flags(open::LAUNCH_OPTIONS_IN_JOB), 0x08000208u);
  EXPECT_EQ(creation_flags(install::REMOVAL_OPTIONS), 0x08000008u);
  EXPECT_EQ(creation_flags(CreationOptions::None), 0u);
}

TEST(SystemValues, MessageBoxStylesAndAnswers) {
  EXPECT_EQ(message_box_style(MessageBoxKind::Question), 0x10024u);
  EXPECT_EQ(message_box_style(MessageBoxKind::QuestionNo), 0x10124u);
  EXPECT_EQ(message_box_style(MessageBoxKind::Error), 0x10010u);
  EXPECT_EQ(message_box_style(MessageBoxKind::Information), 0x10040u);
  EXPECT_EQ(message_box_answer(0), MessageBoxAnswer::NotShown);
  EXPECT_EQ(message_box_answer(IDOK), MessageBoxAnswer::Ok);
  EXPECT_EQ(message_box_answer(IDCANCEL), MessageBoxAnswer::Cancel);
  EXPECT_EQ(message_box_answer(IDYES), MessageBoxAnswer::Yes);
  EXPECT_EQ(message_box_answer(IDNO), MessageBoxAnswer::No);
  EXPECT_EQ(message_box_answer(IDABORT), MessageBoxAnswer::Cancel) << "never a yes";
}

}  // namespace
}  // namespace tessiva::platform
