// tests/support/dkTestSupport.hpp
#pragma once
#include <filesystem>
#include <string>

// Helpers shared by every suite: a private temporary folder per test and the folder the shared
// main gave the whole run (NVLVTROOT points there, so the log never lands in the source tree).
namespace dktest {

// A fresh folder under the run's temporary root, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The run's temporary root, made by the shared main before any library call.
const std::filesystem::path& runRoot();

// Reads a whole file into a string (empty when it cannot be read).
std::string readFile(const std::filesystem::path& p);

// Writes text to a file, replacing it.
void writeFile(const std::filesystem::path& p, const std::string& text);

}  // namespace dktest
