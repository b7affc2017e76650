#pragma once

#include <optional>

namespace ostrel::platform {

// Reads the command line before the application object exists, so that --help and --version work
// without a display. Empty means start the program; otherwise the program prints what was asked (or
// a one-line error) and should end at once with that status: 0 after --help or --version, 2 for an
// option it does not know. Qt's own options (-platform, -display, -style, ...) are let through to
// the application object.
std::optional<int> ReadCommandLine(int argc, char *argv[]);

} // namespace ostrel::platform
