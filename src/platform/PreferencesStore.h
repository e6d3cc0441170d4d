#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace kelvara {

// The user's preferences: one JSON object in one file, a key per setting. Reads are loose the way
// the settings were always read: a boolean from a boolean, a number or a numeric text ("1" is
// true); an integer from a number or a numeric text. Every write is kept in memory until flush(),
// which replaces the file atomically. Thread-safe.
class PreferencesStore {
  public:
    // Loads `file` if it exists. A file that is not a JSON object (or is nested deeper than any
    // setting) is moved aside to "<name>.broken-<date>" with a warning on stderr naming both paths,
    // and the store starts empty. One that cannot be read, or is not a regular file (a FIFO, a
    // folder), is left where it is with a warning; the store starts empty and never saves over it.
    explicit PreferencesStore(std::filesystem::path file);

    // $KELVARA_CONFIG_DIR, else $XDG_CONFIG_HOME/kelvara, else ~/.config/kelvara.
    static std::filesystem::path defaultDirectory();
    static constexpr const char* fileName = "preferences.json";

    // The store both front ends share (the user defaults). Made on first use from
    // defaultDirectory(); useDirectory() replaces it, for --config-dir and for tests.
    static PreferencesStore& standardUserDefaults();
    static void useDirectory(const std::filesystem::path& directory);

    const std::filesystem::path& file() const { return file_; }

    bool contains(const std::string& key) const;
    std::optional<nlohmann::json> objectForKey(const std::string& key) const;

    std::optional<bool> boolForKey(const std::string& key) const;
    std::optional<std::int64_t> integerForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    // Missing, or not a list: empty. Elements of the wrong type are skipped.
    std::vector<std::string> stringArrayForKey(const std::string& key) const;
    std::vector<std::uint64_t> numberArrayForKey(const std::string& key) const;
    std::map<std::string, bool> boolMapForKey(const std::string& key) const;

    void setObject(const std::string& key, nlohmann::json value);
    void setBool(const std::string& key, bool value) { setObject(key, value); }
    void setInteger(const std::string& key, std::int64_t value) { setObject(key, value); }
    void setString(const std::string& key, const std::string& value) { setObject(key, value); }
    void removeObjectForKey(const std::string& key);

    // Writes a temporary file beside the store, fsyncs it and renames it over the old one.
    // Fails when the file cannot be written, or is not a regular file, or could not be read at
    // load; the values stay in memory.
    Status save();
    // save() that reports a failure on stderr; what the browsers use after every write.
    void flush();

    // Loose readings of one value, shared with the places that hold values outside the store. A
    // number no 64-bit integer holds (1e300, "nan") reads as no integer.
    static std::optional<bool> looseBool(const nlohmann::json& value);
    static std::optional<std::int64_t> looseInteger(const nlohmann::json& value);

  private:
    void load();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object();
    std::string refusal_;  // why the file must not be replaced; empty when it may
};

}  // namespace kelvara
