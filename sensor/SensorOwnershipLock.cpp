#include "sensor/SensorOwnershipLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bopwell
{

SensorOwnershipLock::~SensorOwnershipLock() { release(); }

SensorOwnershipLock::SensorOwnershipLock (SensorOwnershipLock&& other) noexcept :
    fd (std::exchange (other.fd, -1)), lockStatus (other.lockStatus), text (other.text)
{
}

SensorOwnershipLock& SensorOwnershipLock::operator= (SensorOwnershipLock&& other) noexcept
{
    if (this != &other)
    {
        release();
        fd = std::exchange (other.fd, -1);
        lockStatus = other.lockStatus;
        text = other.text;
    }
    return *this;
}

juce::File SensorOwnershipLock::defaultLockFile()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getChildFile ("Caches/Bopwell/motion-sensor.lock");
}

SensorOwnershipLock SensorOwnershipLock::acquire (const juce::File& lockFile)
{
    SensorOwnershipLock lock;

    if (! lockFile.getParentDirectory().createDirectory())
    {
        lock.text = "Cannot create the Bopwell sensor ownership-lock directory";
        return lock;
    }

    const int descriptor = ::open (lockFile.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0)
    {
        lock.text = "Cannot open the Bopwell sensor ownership lock";
        return lock;
    }

    struct stat info
    {
    };
    if (::fstat (descriptor, &info) != 0 || ! S_ISREG (info.st_mode) || info.st_uid != ::geteuid())
    {
        ::close (descriptor);
        lock.lockStatus = LockStatus::unsafe;
        lock.text = "Bopwell sensor ownership lock is not a safe user-owned file";
        return lock;
    }

    if (::flock (descriptor, LOCK_EX | LOCK_NB) != 0)
    {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close (descriptor);
        lock.lockStatus = heldElsewhere ? LockStatus::heldElsewhere : LockStatus::failed;
        lock.text = heldElsewhere ? "Motion sensor is already in use by another Bopwell instance"
                                  : "Cannot acquire the Bopwell sensor ownership lock";
        return lock;
    }

    lock.fd = descriptor;
    lock.lockStatus = LockStatus::acquired;
    lock.text = "";
    return lock;
}

void SensorOwnershipLock::release() noexcept
{
    if (fd < 0)
        return;
    ::flock (fd, LOCK_UN);
    ::close (fd);
    fd = -1;
}

} // namespace bopwell
