#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Status.h"
#include "platform/UniqueHandles.h"

namespace kelvara {

// A file that appears under its final name only when complete: it is written to a temporary file
// in the final folder and renamed into place by commit(). Destroyed without commit, it removes the
// temporary file, so an interrupted write never leaves a truncated file under the final name.
class AtomicFile {
  public:
    // Creates the temporary file beside `finalPath`. Fails (with the path and the system's reason)
    // when the folder is not writable.
    static Result<std::unique_ptr<AtomicFile>> create(const std::filesystem::path& finalPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    int fd() const { return fd_.get(); }
    const std::filesystem::path& temporaryPath() const { return temporaryPath_; }
    const std::filesystem::path& finalPath() const { return finalPath_; }

    Status write(std::string_view data);

    // Closes the file and renames it over `finalPath`. With `durable`, the data is fsynced first
    // (power-loss safety for small files such as settings; costly for thousands of songs).
    Status commit(bool durable = false);

    // Temporary files carry this prefix, so a later run can recognise leftovers of a killed one.
    static constexpr std::string_view temporaryPrefix = ".kelvara-part-";
    static bool isTemporaryFileName(std::string_view name);
    // Removes leftover temporary files directly inside `folder`, never one that another process
    // is still writing; returns how many.
    static int removeLeftovers(const std::filesystem::path& folder);

    // Only create() can make the key, so only it constructs (through std::make_unique).
    class Key {
        friend class AtomicFile;
        Key() = default;
    };
    explicit AtomicFile(Key) {}

  private:
    UniqueFd fd_;
    bool committed_ = false;
    std::filesystem::path temporaryPath_;
    std::filesystem::path finalPath_;
};

// Writes `data` to `file` through an AtomicFile, durably.
Status writeFileAtomically(const std::filesystem::path& file, std::string_view data);

// Whether `file` is a regular file (not a link) holding exactly `data`: a file that would be
// written again unchanged need not be.
bool fileHolds(const std::filesystem::path& file, std::string_view data);

}  // namespace kelvara
