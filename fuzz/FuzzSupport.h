#pragma once
// Shared by the fuzz targets: a scratch folder for the files the code under
// test must read from disk, and the check that stops a run on a broken
// promise (libFuzzer then keeps the input as a crash).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzzsupport {

// A folder of its own for this process, on a memory file system when there
// is one (the targets write and fsync a file on every run), removed at exit.
// Ends with '/'.
inline const std::string& scratchDir()
{
    static const std::string dir = [] {
        std::string base = "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path().string();
        std::string pattern = base + "/atlasdesk-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return pattern + "/";
    }();
    return dir;
}

inline void writeFile(const std::string& path, std::string_view bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

// A promise of the code under test does not hold: report and abort.
[[noreturn]] inline void broken(const char* what, std::string_view detail = {})
{
    std::fprintf(stderr, "broken promise: %s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void check(bool condition, const char* what, std::string_view detail = {})
{
    if (!condition)
        broken(what, detail);
}

} // namespace fuzzsupport
