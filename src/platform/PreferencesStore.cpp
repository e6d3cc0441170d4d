#include "platform/PreferencesStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/Diagnostics.h"
#include "platform/JsonNesting.h"
#include "platform/UniqueHandles.h"

namespace kelvara {
namespace {

std::unique_ptr<PreferencesStore>& sharedStore() {
    static std::unique_ptr<PreferencesStore> store;
    return store;
}

std::mutex& sharedStoreMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string dateStamp() {
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

std::optional<double> numericText(const std::string& text) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return std::nullopt;
    std::size_t end = text.find_last_not_of(" \t") + 1;
    const char* first = text.data() + start;
    const char* last = text.data() + end;
    if (*first == '+') ++first;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || std::isnan(value)) return std::nullopt;
    return value;
}

// The whole part of `value` when a 64-bit integer holds it; casting anything else is undefined.
std::optional<std::int64_t> wholePart(double value) {
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (!(value >= -limit && value < limit)) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

// Deeper nesting than any setting has. Copying or writing a value recurses once per level, so a
// file nested without limit would overflow the stack of every command that reads it.
constexpr int kMaxDepth = 64;

const char* typeName(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "not a regular file";
}

}  // namespace

PreferencesStore::PreferencesStore(std::filesystem::path file) : file_(std::move(file)) { load(); }

std::filesystem::path PreferencesStore::defaultDirectory() {
    if (const char* dir = std::getenv("KELVARA_CONFIG_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "kelvara";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".config" / "kelvara";
}

PreferencesStore& PreferencesStore::standardUserDefaults() {
    std::lock_guard lock(sharedStoreMutex());
    auto& store = sharedStore();
    if (!store) store = std::make_unique<PreferencesStore>(defaultDirectory() / fileName);
    return *store;
}

void PreferencesStore::useDirectory(const std::filesystem::path& directory) {
    std::lock_guard lock(sharedStoreMutex());
    sharedStore() = std::make_unique<PreferencesStore>(directory / fileName);
}

void PreferencesStore::load() {
    // Opened without waiting, so that a FIFO cannot block, and checked through the descriptor.
    UniqueFd fd(open(file_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) return;  // no file yet
        refusal_ = "the preferences file " + file_.string() + " cannot be read (" +
                   std::strerror(errno) + ")";
    } else {
        struct stat info {};
        if (fstat(fd.get(), &info) != 0) {
            refusal_ = "the preferences file " + file_.string() + " cannot be read (" +
                       std::strerror(errno) + ")";
        } else if (!S_ISREG(info.st_mode)) {
            refusal_ = "the preferences file " + file_.string() + " is " + typeName(info.st_mode) +
                       ", not a regular file";
        }
    }
    if (!refusal_.empty()) {
        // Not ours to move or replace: the settings live in memory only for this run.
        diagnostic("kelvara: warning: " + refusal_ +
                   "; starting with default settings, which will not be saved.");
        return;
    }

    std::string text;
    bool readError = false;
    char block[65536];
    for (;;) {
        const ssize_t got = read(fd.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) readError = true;
        if (got <= 0) break;
        text.append(block, static_cast<std::size_t>(got));
    }
    const int readErrno = errno;
    fd.reset();
    if (readError) {
        refusal_ = "the preferences file " + file_.string() + " cannot be read (" +
                   std::strerror(readErrno) + ")";
        diagnostic("kelvara: warning: " + refusal_ +
                   "; starting with default settings, which will not be saved.");
        return;
    }

    if (!jsonNestedDeeperThan(text, kMaxDepth)) {
        nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
        if (!parsed.is_discarded() && parsed.is_object()) {
            values_ = std::move(parsed);
            return;
        }
    }
    // Keep the broken file for the user to inspect rather than overwrite it at the next flush.
    std::error_code ec;
    std::filesystem::path aside = file_;
    aside += ".broken-" + dateStamp();
    std::filesystem::rename(file_, aside, ec);
    std::ostringstream line;  // a path streams quoted
    line << "kelvara: warning: the preferences file " << file_ << " is not valid JSON; "
         << (ec ? "it could not be moved aside (" + ec.message() + ")"
                : "it was moved to " + aside.string())
         << ". Starting with default settings.";
    diagnostic(line.str());
}

bool PreferencesStore::contains(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return values_.contains(key);
}

std::optional<nlohmann::json> PreferencesStore::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end() || it->is_null()) return std::nullopt;
    return *it;
}

std::optional<bool> PreferencesStore::looseBool(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>() != 0;
    if (value.is_string()) {
        const auto text = value.get<std::string>();
        if (auto number = numericText(text)) return *number != 0;
        if (text == "true" || text == "YES" || text == "yes") return true;
        if (text == "false" || text == "NO" || text == "no") return false;
    }
    return std::nullopt;
}

std::optional<std::int64_t> PreferencesStore::looseInteger(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_number_float()) return wholePart(value.get<double>());
    if (value.is_string()) {
        if (auto number = numericText(value.get<std::string>())) return wholePart(*number);
    }
    return std::nullopt;
}

std::optional<bool> PreferencesStore::boolForKey(const std::string& key) const {
    auto value = objectForKey(key);
    return value ? looseBool(*value) : std::nullopt;
}

std::optional<std::int64_t> PreferencesStore::integerForKey(const std::string& key) const {
    auto value = objectForKey(key);
    return value ? looseInteger(*value) : std::nullopt;
}

std::optional<std::string> PreferencesStore::stringForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) return std::nullopt;
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number()) return value->dump();
    return std::nullopt;
}

std::vector<std::string> PreferencesStore::stringArrayForKey(const std::string& key) const {
    std::vector<std::string> result;
    auto value = objectForKey(key);
    if (!value || !value->is_array()) return result;
    for (const auto& element : *value)
        if (element.is_string()) result.push_back(element.get<std::string>());
    return result;
}

std::vector<std::uint64_t> PreferencesStore::numberArrayForKey(const std::string& key) const {
    std::vector<std::uint64_t> result;
    auto value = objectForKey(key);
    if (!value || !value->is_array()) return result;
    for (const auto& element : *value) {
        if (element.is_number_unsigned())
            result.push_back(element.get<std::uint64_t>());
        else if (auto number = looseInteger(element))
            result.push_back(static_cast<std::uint64_t>(*number));
    }
    return result;
}

std::map<std::string, bool> PreferencesStore::boolMapForKey(const std::string& key) const {
    std::map<std::string, bool> result;
    auto value = objectForKey(key);
    if (!value || !value->is_object()) return result;
    for (const auto& [name, element] : value->items())
        if (auto flag = looseBool(element)) result[name] = *flag;
    return result;
}

void PreferencesStore::setObject(const std::string& key, nlohmann::json value) {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
}

void PreferencesStore::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

Status PreferencesStore::save() {
    if (!refusal_.empty()) return errorStatus("not saving: " + refusal_);
    // Whatever took the file's place since it was read is not replaced either.
    struct stat info {};
    if (stat(file_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return errorStatus("not saving: " + file_.string() + " is " + typeName(info.st_mode) +
                           ", not a regular file");
    }
    std::string text;
    {
        std::lock_guard lock(mutex_);
        text = values_.dump(2) + "\n";
    }
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec)
        return errorStatus("cannot create " + file_.parent_path().string() + ": " + ec.message());
    return writeFileAtomically(file_, text);
}

void PreferencesStore::flush() {
    if (const Status saved = save(); !saved.ok())
        diagnostic("kelvara: cannot save preferences: " + saved.message());
}

}  // namespace kelvara
