#pragma once

#include "platform/desktop.h"

#include <memory>
#include <string>

namespace platform {

/// Opens the X display named by $DISPLAY and checks for XTEST; null with the
/// reason in *why when either is missing.
std::shared_ptr<Desktop> createX11Desktop(std::string *why);

} // namespace platform
