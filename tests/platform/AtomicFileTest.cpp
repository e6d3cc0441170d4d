#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "platform/AtomicFile.h"
#include "support/TestSupport.h"

using kelvara::AtomicFile;
using kelvara::test::TempDir;

namespace {
std::atomic<int> umaskCalls{0};
}  // namespace

// Counts every umask call of this program, the library's included; reading the mask that way
// briefly changes it for all threads.
extern "C" mode_t umask(mode_t mask) noexcept {
    ++umaskCalls;
    return static_cast<mode_t>(syscall(SYS_umask, mask));
}

namespace {

mode_t permissionsOf(const std::filesystem::path& file) {
    struct stat info {};
    EXPECT_EQ(stat(file.c_str(), &info), 0);
    return info.st_mode & 07777;
}

}  // namespace

// A committed file has the permissions a plain new file would get under the process's umask,
// and writing it never touches that umask.
TEST(AtomicFile, GetsTheUmaskPermissionsWithoutChangingTheUmask) {
    TempDir dir;
    constexpr struct {
        mode_t mask;
        mode_t expected;
    } kCases[] = {{027, 0640}, {022, 0644}, {077, 0600}, {0, 0666}};
    const mode_t saved = umask(022);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.mask);
        umask(c.mask);
        const int callsBefore = umaskCalls;
        const auto file = dir / ("m" + std::to_string(c.mask));
        const kelvara::Status written = kelvara::writeFileAtomically(file, "x");
        ASSERT_TRUE(written.ok()) << written.message();
        EXPECT_EQ(umaskCalls, callsBefore);
        EXPECT_EQ(permissionsOf(file), c.expected);
    }
    umask(saved);
}

// A folder that cannot be written is an error naming it, not a crash.
TEST(AtomicFile, CreateInAMissingFolderFailsWithTheFolderNamed) {
    TempDir dir;
    const auto created = AtomicFile::create(dir / "missing" / "x");
    EXPECT_FALSE(created.ok());
    EXPECT_NE(created.message().find("Cannot create a file in " + (dir / "missing").string()),
              std::string::npos);
}
