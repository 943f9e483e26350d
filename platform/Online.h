#pragma once
// Whether the machine is connected to a network, asked when a mail program connects to
// the SMTP proxy. Behind a seam so tests decide the answer.

#include <functional>

namespace MiscFuncs {

using OnlineCheckFn = std::function<bool()>;

// The installed check, else SystemIsOnline.
bool IsOnline();
// nullptr restores the system's answer.
void SetOnlineCheck(OnlineCheckFn check);

// The system's answer: the network-information backend's reachability when it knows
// one (a local network counts as connected); otherwise true when an interface other
// than loopback is up, running and has an address.
bool SystemIsOnline();

}  // namespace MiscFuncs
