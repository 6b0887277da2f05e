#pragma once
/// Questions to the desktop's session bus, for the Linux self-check, through GIO loaded
/// on first use; a host that only answers "hello" never asks.

#include <string>

namespace tessiva::platform {

/// True when the bus name `name` has an owner on the session bus, or the bus can start
/// a service for it. False without a session bus.
[[nodiscard]] bool session_bus_name_available(const std::string& name);

/// True when the object `path` of the service `name` on the session bus has the
/// property `property` of the interface `interface` (the bus starts the service for the
/// question when it can). False without a session bus.
[[nodiscard]] bool session_bus_has_property(const std::string& name, const std::string& path,
                                            const std::string& interface, const std::string& property);

}  // namespace tessiva::platform
