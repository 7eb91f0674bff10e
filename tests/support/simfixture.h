#pragma once

// Installs a fresh simulated desktop for the lifetime of a test object.

#include "platform/desktop.h"
#include "platform/desktop_sim.h"

#include <memory>

struct SimFixture {
    SimFixture()
        : sim(std::make_shared<platform::SimDesktop>())
    {
        platform::setDesktop(sim);
    }
    std::shared_ptr<platform::SimDesktop> sim;
};
