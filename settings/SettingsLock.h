#pragma once
// Keeps other running copies of the program out of the settings file for the
// whole of one load or save. Every write replaces the file by a rename, so the
// lock is an exclusive flock on a lock file beside it ("<settings file>.lock"),
// which is never replaced. Locks of the same file nest within one process (a
// reaction's write during a load runs under the load's lock). When the lock
// file cannot be made (a read-only or missing folder) the operation goes on
// unlocked: nothing can be written there anyway.
#include <string>

namespace settings {

class SettingsLock {
 public:
  explicit SettingsLock(const std::string& settingsPath);
  ~SettingsLock();
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

 private:
  std::string lockPath_;
  int fd_ = -1;
};

}  // namespace settings
