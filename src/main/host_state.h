#pragma once
/// The state of one native messaging connection.

#include <cstdint>
#include <optional>

#include "config/store.h"
#include "messages/caller.h"
#include "transfers/transfers.h"

namespace tessiva::app {

/// Created when native messaging starts, handed to every request handler, gone when
/// the channel closes.
struct HostState {
  /// The browser window named by "--parent-window=", owner of the pickers' dialogs.
  std::optional<std::int64_t> parent_window;
  /// The family of the browser that started the host, from the command line.
  std::optional<messages::BrowserFamily> caller;
  /// The open chunked transfers; their partial files are deleted when the loop ends.
  transfers::TransferTable transfers;
  /// Where the handlers that need the settings get them: config.json, read afresh
  /// by each such request (never at start, nor for "hello" or "transfer_chunk").
  config::SettingsLoader settings = config::load_config;
};

}  // namespace tessiva::app
