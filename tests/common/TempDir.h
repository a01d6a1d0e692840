#pragma once
// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the object goes away (folders a test made
// read-only included). Open to every user, so tests that act as an ordinary
// user can work in it. Plus the two file helpers most tests need.
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumeskar-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
    chmod(path_.c_str(), 0777);
  }
  ~TempDir() {
    std::error_code ec;
    chmod(path_.c_str(), 0777);
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
      if (e.is_directory(ec) && !e.is_symlink(ec)) chmod(e.path().c_str(), 0777);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string folder() const { return path_ + "/"; }  // with the trailing separator
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes `data` as the whole file; throws when it cannot, so that a test's
// setup never fails unseen.
inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace testing_support
