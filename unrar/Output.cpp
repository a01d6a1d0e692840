#include "unrar/Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/AlignedBuffer.h"
#include "unrar/Text.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The process umask, read without changing it (umask() is process-wide).
mode_t currentUmask() {
  static const mode_t mask = [] {
    mode_t m = 022;
    if (FILE* f = fopen("/proc/self/status", "re")) {
      char line[128];
      unsigned v;
      while (fgets(line, sizeof line, f))
        if (sscanf(line, "Umask: %o", &v) == 1) {
          m = mode_t(v);
          break;
        }
      fclose(f);
    }
    return m;
  }();
  return mask;
}

// mkdir -p for the caller's own destination folder.
bool makeRoot(const std::string& root) {
  std::string path;
  for (size_t i = 0; i <= root.size(); ++i) {
    if (i == root.size() || root[i] == '/') {
      if (!path.empty() && mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    if (i < root.size()) path += root[i];
  }
  struct stat st;
  return stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Opens the folder that holds the last component, creating the folders on
// the way and refusing every symbolic link among them.
int openParent(const Target& t, Fd& dir) {
  if (!makeRoot(t.root)) return ERAR_ECREATE;
  dir.reset(open(t.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return ERAR_ECREATE;
  for (size_t i = 0; i + 1 < t.parts.size(); ++i) {
    if (mkdirat(dir.get(), t.parts[i].c_str(), 0777) != 0 && errno != EEXIST) return ERAR_ECREATE;
    int next = openat(dir.get(), t.parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return ERAR_ECREATE;
    dir.reset(next);
  }
  return 0;
}

void applyTimes(int fd, const Metadata& m) {
  if (m.mtime == 0) return;
  struct timespec ts[2];
  auto toTs = [](uint64_t ft, struct timespec& out) {
    int64_t ns = filetimeToUnixNs(ft);
    out.tv_sec = time_t(ns / 1000000000LL);
    out.tv_nsec = long(ns % 1000000000LL);
    if (out.tv_nsec < 0) {
      out.tv_nsec += 1000000000L;
      --out.tv_sec;
    }
  };
  if (m.atime)
    toTs(m.atime, ts[0]);
  else
    ts[0].tv_nsec = UTIME_OMIT;
  toTs(m.mtime, ts[1]);
  futimens(fd, ts);
}

// Removes whatever non-directory sits at `name` so a link can take its place.
bool clearName(int dirFd, const std::string& name) {
  struct stat st;
  if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (S_ISDIR(st.st_mode)) return false;
  return unlinkat(dirFd, name.c_str(), 0) == 0;
}

}  // namespace

bool splitSafeName(const std::string& name, std::vector<std::string>& parts) {
  parts.clear();
  // A name no path on this system can hold would only build a folder chain
  // as deep as the archive likes that no program could open again.
  if (name.empty() || name.size() >= PATH_MAX || name[0] == '/' || name.find('\0') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return !parts.empty();
}

int resolveTarget(const char* destPath, const char* destName, const std::string& entryName, Target& t) {
  t = Target{};
  if (destName && *destName) {
    std::string full = destName;
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    size_t slash = full.rfind('/');
    std::string base = slash == std::string::npos ? full : full.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") return ERAR_ECREATE;
    if (slash == std::string::npos)
      t.root.assign(1, '.');
    else if (slash == 0)
      t.root.assign(1, '/');
    else
      t.root = full.substr(0, slash);
    t.parts.push_back(base);
    return 0;
  }
  if (!splitSafeName(entryName, t.parts)) return ERAR_ECREATE;
  t.root = destPath && *destPath ? destPath : ".";
  return 0;
}

int OutputFile::create(const Target& t) {
  discard();
  Fd dir;
  if (int r = openParent(t, dir)) return r;
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    snprintf(name, sizeof name, ".unrar-%d-%u.tmp", int(getpid()), counter++);
    int fd = openat(dir.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fd_ = fd;
      dirFd_ = dir.release();
      tempName_ = name;
      finalName_ = t.parts.back();
      return 0;
    }
    if (errno != EEXIST) break;
  }
  return ERAR_ECREATE;
}

int OutputFile::write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ERAR_EWRITE;
    p += n;
    size -= size_t(n);
  }
  return 0;
}

int OutputFile::commit(const Metadata& m) {
  if (fd_ < 0) return ERAR_ECREATE;
  fchmod(fd_, m.mode & 0777 & ~currentUmask());
  applyTimes(fd_, m);
  int closed = close(fd_);
  fd_ = -1;
  if (closed != 0) {
    discard();
    return ERAR_EWRITE;
  }
  if (renameat(dirFd_, tempName_.c_str(), dirFd_, finalName_.c_str()) != 0) {
    discard();
    return ERAR_ECREATE;
  }
  tempName_.clear();
  discard();
  return 0;
}

void OutputFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (dirFd_ >= 0) {
    if (!tempName_.empty()) unlinkat(dirFd_, tempName_.c_str(), 0);
    close(dirFd_);
  }
  dirFd_ = -1;
  tempName_.clear();
}

int makeDirectory(const Target& t, const Metadata& m) {
  Fd dir;
  if (int r = openParent(t, dir)) return r;
  const char* last = t.parts.back().c_str();
  if (mkdirat(dir.get(), last, 0777) != 0 && errno != EEXIST) return ERAR_ECREATE;
  Fd self(openat(dir.get(), last, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (self.get() < 0) return ERAR_ECREATE;
  fchmod(self.get(), (m.mode | 0700) & 0777 & ~currentUmask());
  applyTimes(self.get(), m);
  return 0;
}

// The link target with "." dropped and every "name/.." pair folded, so that
// ".." can only lead the result. The kernel resolves "name/.." through
// whatever "name" is when the link is followed; were "name" itself a link
// (made by a later entry), an unfolded ".." could climb out of the
// destination although the text seems to stay inside. Empty when the target
// is absolute, holds a NUL (symlinkat would stop there) or climbs above the
// destination from the link's folder `depth` levels below it.
static std::string containedLinkTarget(const std::string& linkTarget, size_t depth) {
  if (linkTarget.empty() || linkTarget[0] == '/' || linkTarget.find('\0') != std::string::npos) return {};
  size_t ups = 0;
  std::vector<std::string> down;
  size_t start = 0;
  while (start <= linkTarget.size()) {
    size_t end = linkTarget.find('/', start);
    if (end == std::string::npos) end = linkTarget.size();
    std::string part = linkTarget.substr(start, end - start);
    if (part == "..") {
      if (!down.empty())
        down.pop_back();
      else if (++ups > depth)
        return {};
    } else if (!part.empty() && part != ".") {
      down.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (size_t i = 0; i < ups; ++i) out += out.empty() ? ".." : "/..";
  for (const auto& part : down) out += (out.empty() ? "" : "/") + part;
  return out.empty() ? "." : out;
}

int makeSymlink(const Target& t, const std::string& linkTarget) {
  const std::string target = containedLinkTarget(linkTarget, t.parts.size() - 1);
  if (target.empty()) return ERAR_ECREATE;
  Fd dir;
  if (int r = openParent(t, dir)) return r;
  if (!clearName(dir.get(), t.parts.back())) return ERAR_ECREATE;
  return symlinkat(target.c_str(), dir.get(), t.parts.back().c_str()) == 0 ? 0 : ERAR_ECREATE;
}

int makeLinkOrCopy(const Target& t, const std::string& source, bool copy, const Metadata& m) {
  Target src{t.root, {}};
  if (!splitSafeName(source, src.parts)) return ERAR_ECREATE;
  Fd srcDir;
  if (int r = openParent(src, srcDir)) return r;
  if (!copy) {
    Fd dir;
    if (int r = openParent(t, dir)) return r;
    if (!clearName(dir.get(), t.parts.back())) return ERAR_ECREATE;
    return linkat(srcDir.get(), src.parts.back().c_str(), dir.get(), t.parts.back().c_str(), 0) == 0 ? 0 : ERAR_ECREATE;
  }
  // Only a regular file is copied: opening a FIFO that sits under the
  // source name would otherwise wait for a writer that never comes.
  Fd in(openat(srcDir.get(), src.parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (in.get() < 0 || fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ERAR_EOPEN;
  OutputFile out;
  if (int r = out.create(t)) return r;
  platform::AlignedBuffer<char> buf(1 << 20);
  if (!buf) return ERAR_NO_MEMORY;
  for (;;) {
    ssize_t n = read(in.get(), buf.data(), buf.size());
    if (n < 0) return ERAR_EREAD;
    if (n == 0) break;
    if (int r = out.write(buf.data(), size_t(n))) return r;
  }
  return out.commit(m);
}

}  // namespace unrar
