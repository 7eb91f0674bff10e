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

} // namespace platform
