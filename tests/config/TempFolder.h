// A private folder under /tmp for fixture files, removed with its content afterwards.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <dirent.h>

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/qln-config-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempFolder() {
        if (path_.empty()) return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream out(File(name), std::ios::binary);
        out << content;
        return File(name);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Exists(const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0;
    }
    // Names in the folder, without "." and "..".
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* e = readdir(dir)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            closedir(dir);
        }
        return names;
    }

private:
    std::string path_;
};
