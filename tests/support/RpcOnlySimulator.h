// The simulated service for tests that talk to it through the service link alone: its RPC on a
// port the system picks (tests can then run side by side without a network namespace of their
// own) and no touch stream.
#pragma once

#include "touchsim/Simulator.h"

namespace simtest {

inline touchsim::Options RpcOnly() {
    touchsim::Options o;
    o.rpcPort = 0;
    o.stream = false;
    return o;
}

}  // namespace simtest
