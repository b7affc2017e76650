#pragma once

namespace ostrel::platform {

// Whether the session has a bus to ask the desktop on. Where it has none, the D-Bus library would
// start one of its own through X11 ("autolaunch"): a daemon nobody serves. Only a bus the session has
// is ever asked.
bool SessionHasBus();

} // namespace ostrel::platform
