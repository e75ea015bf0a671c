// The simulated service that the command-line scenarios talk to.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "touchsim/Simulator.h"

namespace clitest {

// Started on the fixed RPC port (the test runs in its own network namespace), without the touch
// stream, listing the given devices; null when it could not start.
inline std::unique_ptr<touchsim::Simulator> StartRpcSimulator(const std::vector<std::string>& devices) {
    touchsim::Options o;
    o.stream = false;
    auto sim = std::make_unique<touchsim::Simulator>(o);
    if (!sim->Start()) return nullptr;
    sim->Edit([&](touchsim::DeviceModel& m) { m.deviceIds = devices; });
    return sim;
}

}  // namespace clitest
