#include "extract/VolumeSet.h"

#include <sys/stat.h>

#include "platform/VolumeName.h"

namespace extract {

std::vector<std::string> SetVolumes(const std::string& first) {
  std::vector<std::string> volumes;
  struct stat st;
  for (std::string name = first; !name.empty() && volumes.size() < 100000;
       name = platform::NextVolumeName(name, platform::VolumeNumbering::FromName)) {
    if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) break;
    volumes.push_back(name);
  }
  return volumes;
}

uint64_t SetSize(const std::string& first) {
  uint64_t total = 0;
  struct stat st;
  for (const auto& v : SetVolumes(first))
    if (stat(v.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
  return total;
}

}  // namespace extract
