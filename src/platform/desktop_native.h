#pragma once

// Each platform build provides exactly one definition of this (chosen by
// CMake): the real backend of that platform, or null with the reason.

#include "platform/desktop.h"

#include <memory>
#include <string>

namespace platform {

/// Opens the real desktop of this machine; null (and *why filled) when it
/// cannot be used.
std::shared_ptr<Desktop> createNativeDesktop(std::string *why);

/// A file named by bytes that are not text in the system's encoding (on
/// Linux: not UTF-8) has no string that encodes back to its name, so Qt
/// cannot open it by name. This opens it for reading by its bytes and gives
/// a path that reaches the open file (Linux: /proc/self/fd/N, valid while
/// the process lives); empty when it cannot be opened or the platform passes
/// names as text anyway.
std::string pathOfOpenedFile(const char *nameBytes);

} // namespace platform
