// Stand-in for the system registry that holds the operating system's own linearity calibration.
// A data file the program reads, so it lives beside the other data files rather than with the
// operating system's services in platform/.
//
// The store is one text file, by default /etc/qlncfg/registry.ini, in INI form: a section per key
// (the key path as written, backslashes included) and "name=data" lines for its values, e.g.
//
//   [SYSTEM\CurrentControlSet\Control\TabletPC\UserLinearityData]
//   fdrlmtouch&col01=0102ab
//
// Names compare case-insensitively (ASCII), as the registry's do. Only the first kRegistryFileLimit
// bytes of the file are read (whole lines only), however long its lines. The program only reads
// the file.
#pragma once

#include <cstdint>
#include <string>

namespace VexoSource {

constexpr const char* kDefaultRegistryFile = "/etc/qlncfg/registry.ini";
constexpr const char* kLinearityKey = "SYSTEM\\CurrentControlSet\\Control\\TabletPC\\UserLinearityData";
constexpr const char* kLinearityValue = "fdrlmtouch&col01";
constexpr size_t kRegistryFileLimit = 1u << 20;

// Replaces the store's file path (empty restores the default). Returns the previous path.
std::string SetRegistryFilePath(const std::string& path);
std::string RegistryFilePath();

// True when the key exists; with name, true when the value exists (data may be empty).
bool RegistryKeyExists(const std::string& key);
bool RegistryValueExists(const std::string& key, const std::string& name);

// 1 when the operating system holds linearity calibration data for the touch device, else 0.
int32_t CheckLinearityData();

}  // namespace VexoSource
