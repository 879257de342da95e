#pragma once
// The single cleanup pass: start line, mode, discovery, one cleanup per installation, finish line.

#include "platform/platform.h"

namespace halvern {

// Runs the whole pass and returns the process exit code, which is always 0.
int RunCleanupPass(Platform& platform);

}  // namespace halvern
