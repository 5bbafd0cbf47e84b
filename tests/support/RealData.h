#pragma once
// Where the real pages and data shared by the project live. Tests that read them skip cleanly
// when the folder is absent (VELK_REALDATA_DIR in the environment overrides the built-in path).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace velk::test {

inline std::filesystem::path RealDataDir() {
    if (const char* env = std::getenv("VELK_REALDATA_DIR"); env && *env)
        return env;
#ifdef VELK_REALDATA_DIR
    return VELK_REALDATA_DIR;
#else
    return {};
#endif
}

inline bool HasRealData() {
    std::error_code ec;
    return std::filesystem::is_directory(RealDataDir(), ec);
}

inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace velk::test
