#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace kelvara::fuzz {

// Stops the run with a message; libFuzzer saves the input that led here.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

// The messages the code prints for bad input would flood the log at every run; sanitizer and
// libFuzzer reports go to the file descriptor directly and stay visible.
inline void silenceStreams() {
    std::cerr.rdbuf(nullptr);
    std::cout.rdbuf(nullptr);
}

// One private folder for the whole process, named by its id. libFuzzer ends a process without
// running exit handlers (on a crash, a timeout or the end of -max_total_time), so each process
// first removes the folders of processes that are gone. In memory when the system has a tmpfs at
// /dev/shm: the preferences are fsynced at every save, which on a disk costs most of a run.
inline const std::filesystem::path& scratchDirectory() {
    static const std::filesystem::path directory = [] {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        const std::string prefix = "kelvara-fuzz-";
        for (const auto& entry : fs::directory_iterator(base, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) != 0) continue;
            const std::string pid = name.substr(prefix.size());
            if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
            if (!fs::exists(fs::path("/proc") / pid, ec)) fs::remove_all(entry.path(), ec);
        }
        const fs::path made = base / (prefix + std::to_string(getpid()));
        fs::remove_all(made, ec);
        if (!fs::create_directory(made, ec)) fail("cannot create " + made.string());
        return made;
    }();
    return directory;
}

inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) fail("cannot write " + file.string());
}

// Length of the well-formed UTF-8 character at the start of `text`, 0 when none starts there.
// Written from the Unicode table of well-formed byte sequences, apart from the code under test.
inline std::size_t utf8CharacterLength(std::string_view text) {
    if (text.empty()) return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

inline bool isValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8CharacterLength(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

}  // namespace kelvara::fuzz
