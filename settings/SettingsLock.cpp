#include "settings/SettingsLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace settings {

namespace {

// How often each lock file is held by this process right now.
std::map<std::string, int>& HeldHere() {
  static std::map<std::string, int> held;
  return held;
}

}  // namespace

SettingsLock::SettingsLock(const std::string& settingsPath) : lockPath_(settingsPath + ".lock") {
  if (HeldHere()[lockPath_]++ > 0) return;  // the outer lock covers us
  fd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

SettingsLock::~SettingsLock() {
  if (--HeldHere()[lockPath_] == 0) HeldHere().erase(lockPath_);
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace settings
