// Points the registry stand-in at a private file for the lifetime of the object; the program only
// reads that file, so tests write its text themselves.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "config/LinearityStore.h"

namespace testsupport {

class RegistryFile {
public:
    RegistryFile() {
        char pattern[] = "/tmp/qln-registry-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path_ = pattern;
        std::remove(path_.c_str());  // no file until a test writes one
        previous_ = VexoSource::SetRegistryFilePath(path_);
    }
    ~RegistryFile() {
        VexoSource::SetRegistryFilePath(previous_ == VexoSource::kDefaultRegistryFile ? std::string() : previous_);
        std::remove(path_.c_str());
    }
    RegistryFile(const RegistryFile&) = delete;
    RegistryFile& operator=(const RegistryFile&) = delete;

    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    void Remove() { std::remove(path_.c_str()); }
    // The operating system's linearity data for the touch device, as the program looks for it.
    void WriteLinearityData() {
        Write(std::string("[") + VexoSource::kLinearityKey + "]\n" + VexoSource::kLinearityValue + "=0102\n");
    }

private:
    std::string path_, previous_;
};

}  // namespace testsupport
