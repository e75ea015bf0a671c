// Reading the simulated service's trace: the calls' names, the writes among them, the first call of
// a name and a call's payload as a record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "touchsim/Simulator.h"

namespace tracetest {

inline const touchsim::TraceEntry* Find(const std::vector<touchsim::TraceEntry>& trace, const std::string& name) {
    for (const auto& e : trace)
        if (e.name == name) return &e;
    return nullptr;
}

// The names of the calls, in order ("GetAccessState", ...).
inline std::vector<std::string> Names(const std::vector<touchsim::TraceEntry>& trace) {
    std::vector<std::string> names;
    for (const auto& e : trace) names.push_back(e.name);
    return names;
}

// Requests that change the device: "nothing sent" means none of these.
inline std::vector<std::string> Writes(const std::vector<touchsim::TraceEntry>& trace) {
    std::vector<std::string> names;
    for (const auto& e : trace)
        if (e.name.rfind("Set", 0) == 0 || e.name == "ResetDevice") names.push_back(e.name);
    return names;
}

// The payload copied into a record (which is packed, so it is never read in place); a payload of
// another size fails the test.
template <typename R>
R PayloadAs(const touchsim::TraceEntry& entry) {
    R record{};
    EXPECT_EQ(entry.payload.size(), sizeof record) << entry.name;
    std::memcpy(&record, entry.payload.data(), std::min(entry.payload.size(), sizeof record));
    return record;
}

}  // namespace tracetest
