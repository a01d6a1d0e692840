#pragma once
// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away. Open to every user, so that tests that
// act as an ordinary user can work in it.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testing_support {

class TempFolder {
 public:
  TempFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "lumeskar-test-XXXXXX").string();
    if (char* made = mkdtemp(templ.data())) path_ = made;
    chmod(path_.c_str(), 0777);
  }
  ~TempFolder() {
    std::error_code ec;
    // Read-only folders left by a test must become removable again.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
      if (e.is_directory(ec)) chmod(e.path().c_str(), 0777);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace testing_support
