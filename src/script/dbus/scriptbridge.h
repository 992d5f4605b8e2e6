// The script classes over the D-Bus bridge: "ZTOLEObject" (a D-Bus object
// whose members scripts call by name, whose properties they assign, which
// they index), "ZTOLEEnum" (walks its elements with "Next") and the global
// function "GetOLELastError". Registered on a script host as an extension;
// every script run gets a bridge of its own on the given bus.
#pragma once

#include <QDBusConnection>

#include "script/scripthost.h"

namespace zt::dbus {

// The extension; the bus is taken when a script starts (the session bus
// when none is given). timeoutMs bounds every call the scripts make.
zt::script::ScriptExtension ScriptBridgeExtension(std::function<QDBusConnection()> bus = {},
                                                  int timeoutMs = 10000);

} // namespace zt::dbus
