// How often the threads of this process with a given name were switched in: each switch is a
// wake-up (a sleeping thread that does not spin has none).
#pragma once

#include <dirent.h>

#include <fstream>
#include <string>

namespace threadtest {

// Sum of voluntary and involuntary context switches of the threads named `name` (the name a
// thread carries in /proc/self/task/TID/comm); -1 when no thread has that name.
inline long ContextSwitches(const std::string& name) {
    long total = -1;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return -1;
    while (dirent* e = readdir(tasks)) {
        if (e->d_name[0] == '.') continue;
        const std::string dir = std::string("/proc/self/task/") + e->d_name;
        std::string comm;
        std::getline(std::ifstream(dir + "/comm"), comm);
        if (comm != name) continue;
        std::ifstream status(dir + "/status");
        long switches = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                switches += std::stol(line.substr(line.find(':') + 1));
        }
        total = (total < 0 ? 0 : total) + switches;
    }
    closedir(tasks);
    return total;
}

}  // namespace threadtest
