#include "sensor/SensorOwnershipLock.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using bopwell::LockStatus;
using bopwell::SensorOwnershipLock;

namespace
{
class SensorOwnershipLockTest : public ::testing::Test
{
protected:
    void TearDown() override { folder.deleteRecursively(); }

    juce::File folder = juce::File::createTempFile ("lock-test");
    juce::File lockFile = folder.getChildFile ("Caches/Bopwell/motion-sensor.lock");
};
} // namespace

TEST_F (SensorOwnershipLockTest, OneHolderAtATimeUntilReleased)
{
    auto first = SensorOwnershipLock::acquire (lockFile);
    ASSERT_EQ (first.status(), LockStatus::acquired);
    EXPECT_STREQ (first.message(), "");
    EXPECT_TRUE (lockFile.existsAsFile());

    // A second open of the file holds its own flock, as another instance would.
    auto second = SensorOwnershipLock::acquire (lockFile);
    EXPECT_EQ (second.status(), LockStatus::heldElsewhere);
    EXPECT_STREQ (second.message(), "Motion sensor is already in use by another Bopwell instance");

    first.release();
    EXPECT_EQ (SensorOwnershipLock::acquire (lockFile).status(), LockStatus::acquired);
    EXPECT_TRUE (lockFile.existsAsFile()); // only the lock goes, never the file
}

TEST_F (SensorOwnershipLockTest, AFileLeftBehindIsReused)
{
    ASSERT_TRUE (lockFile.create());
    EXPECT_EQ (SensorOwnershipLock::acquire (lockFile).status(), LockStatus::acquired);
}

TEST_F (SensorOwnershipLockTest, RefusesWhatIsNotASafeUserOwnedFile)
{
    struct Case
    {
        const char* what;
        std::function<void (const juce::File&)> make;
        LockStatus status;
        const char* message;
    };
    const Case cases[] = {
        { "a symbolic link", [] (const juce::File& f) { ASSERT_EQ (::symlink ("/tmp", f.getFullPathName().toRawUTF8()), 0); },
          LockStatus::failed, "Cannot open the Bopwell sensor ownership lock" },
        { "a directory", [] (const juce::File& f) { ASSERT_TRUE (f.createDirectory()); }, LockStatus::failed,
          "Cannot open the Bopwell sensor ownership lock" },
        { "a named pipe", [] (const juce::File& f) { ASSERT_EQ (::mkfifo (f.getFullPathName().toRawUTF8(), 0600), 0); }, LockStatus::unsafe,
          "Bopwell sensor ownership lock is not a safe user-owned file" },
    };
    for (const auto& c : cases)
    {
        lockFile.getParentDirectory().createDirectory();
        c.make (lockFile);
        const auto lock = SensorOwnershipLock::acquire (lockFile);
        EXPECT_EQ (lock.status(), c.status) << c.what;
        EXPECT_STREQ (lock.message(), c.message) << c.what;
        EXPECT_FALSE (lock.isHeld()) << c.what;
        lockFile.getParentDirectory().deleteRecursively();
    }
}

TEST_F (SensorOwnershipLockTest, ADirectoryThatCannotBeCreatedIsReported)
{
    ASSERT_TRUE (folder.create()); // a plain file where the folder should be
    const auto lock = SensorOwnershipLock::acquire (lockFile);
    EXPECT_EQ (lock.status(), LockStatus::failed);
    EXPECT_STREQ (lock.message(), "Cannot create the Bopwell sensor ownership-lock directory");
}
