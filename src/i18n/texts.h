#pragma once
/// The texts the program shows, in every language it speaks.

#include <initializer_list>
#include <string>
#include <string_view>

#include "i18n/language.h"

namespace tessiva::i18n {

enum class MessageKey {
  InstallPrompt,
  InstallDone,
  UpdateDone,
  InstallFailed,
  UninstallPrompt,
  UninstallDone,
  ChooseAppTitle,
  ProgramsFilter,
  ChooseFolderTitle,
  // The installer and the uninstaller in a terminal. "%1"... stand for the values
  // that `format_message` puts in.
  TerminalAnswerHint,
  BrowserRegistered,
  BrowserSkipped,
  ManifestRemoved,
  ManifestKept,
  FlatpakAdvice,
  InstalledSystemWide,
  UninstallFailed,
  // The self-check (check/check.h).
  CheckOk,
  CheckNotRegistered,
  CheckProblem,
  CheckManifestMissing,
  CheckManifestUnreadable,
  CheckManifestInvalid,
  CheckManifestWrongName,
  CheckManifestWrongType,
  CheckPathNotAbsolute,
  CheckPathMissing,
  CheckOriginMissing,
  CheckHostNoAnswer,
  CheckHostWrongVersion,
  CheckNotStartedAsRoot,
  CheckPolicyUserLevel,
  CheckPolicyBlocklist,
  CheckSettingsUnreadable,
  CheckSettingsInvalid,
  CheckFolderNotWritable,
  CheckLowSpace,
  CheckSettingsName,
  CheckSaveFolderName,
  CheckTransfersName,
  CheckFreeSpaceName,
  CheckAllReachable,
  CheckSomeUnreachable,
  CheckReportFile,
  // The installer on Linux: the command on the PATH, browsers not there yet, nothing
  // done; the self-check's words for a home without Tessiva.
  BrowserRegisteredAhead,
  CommandLinked,
  CommandNotOnPath,
  CommandKept,
  NothingChanged,
  NotInstalled,
  CheckNotInstalled,
  CheckSettingsAbsent,
  // Browsers in a sandbox: the installer's wrapper for Chromium-family Flatpaks and the
  // permission it needs; the self-check's problems with the paths out of a sandbox.
  SandboxPrompt,
  SandboxAdvice,
  SandboxRegistered,
  SandboxPermissionGranted,
  SandboxPermissionNeeded,
  SandboxPermissionRevoked,
  SandboxRevokeNeeded,
  SandboxNotSetUp,
  SandboxUnknown,
  CheckSandboxNoWrapper,
  CheckSandboxNoPermission,
  CheckProxyMissing,
  CheckProxyNoPermission,
  CheckPortalMissing,
  // The Linux pickers' own buttons: the folder dialog's accept button, and the way from
  // the application list to any program file.
  SelectButton,
  BrowseButton,
  // Windows, beside an installation for all users: the per-user installer's question and
  // refusal, the program installed for all users started by hand, and the self-check's
  // problem with a per-user copy that takes a newer one's place.
  MachineInstallPrompt,
  MachineInstallRefused,
  RemoveSystemWide,
  UninstallSystemWide,
  CheckShadowedByUserCopy,
};

/// The text of `key` in `language`, UTF-8.
[[nodiscard]] std::string_view message_text(Language language, MessageKey key) noexcept;

/// The text of `key` with "%1", "%2"... replaced by `values` in order; a number
/// without a value is left as it is.
[[nodiscard]] std::string format_message(Language language, MessageKey key,
                                         std::initializer_list<std::string_view> values);

}  // namespace tessiva::i18n
