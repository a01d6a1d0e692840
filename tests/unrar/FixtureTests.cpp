// Compressed archives (RAR 4 by our decoders, RAR 5 by libarchive) must
// come out exactly as bsdtar extracts them, where bsdtar can.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/unrar/UnrarLib.h"

namespace fs = std::filesystem;

namespace {

bool bsdtarExtract(const std::string& archive, const std::string& dest) {
  fs::create_directories(dest);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    execlp("bsdtar", "bsdtar", "-xf", archive.c_str(), "-C", dest.c_str(), (char*)nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(UnrarFixtures, SameFilesAsBsdtar) {
  const fs::path fixtures = LUMESKAR_SHARED_FIXTURES;
  if (!fs::exists(fixtures)) GTEST_SKIP() << "no shared fixtures";
  const char* firstVolumes[] = {
      "test_read_format_rar.rar",
      "test_read_format_rar_compress_best.rar",
      "test_read_format_rar_compress_normal.rar",
      "test_read_format_rar_filter.rar",
      "test_read_format_rar_windows.rar",
      "test_read_format_rar5_compressed.rar",
      "test_read_format_rar5_multiple_files.rar",
      "test_read_format_rar5_multiple_files_solid.rar",
      "test_read_format_rar5_solid.rar",
      "test_read_format_rar5_win32.rar",
      "test_read_format_rar5_stored_manyfiles.rar",
  };
  int compared = 0;
  for (const char* name : firstVolumes) {
    SCOPED_TRACE(name);
    TempDir dir;
    std::string archive = (fixtures / name).string();
    if (!bsdtarExtract(archive, dir / "bsdtar")) continue;  // bsdtar cannot read it either
    RunResult r = runArchive(archive, RAR_EXTRACT, dir / "ours");
    ASSERT_EQ(r.openResult, 0u);
    EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE);
    for (size_t i = 0; i < r.codes.size(); ++i) EXPECT_EQ(r.codes[i], 0) << r.names[i];
    for (auto& e : fs::recursive_directory_iterator(dir / "bsdtar")) {
      fs::path rel = e.path().lexically_relative(dir / "bsdtar");
      fs::path ours = fs::path(dir / "ours") / rel;
      if (e.is_symlink()) {
        if (fs::read_symlink(e.path()).string()[0] != '/') {
          EXPECT_EQ(fs::read_symlink(ours), fs::read_symlink(e.path())) << rel;
        }
      } else if (e.is_regular_file()) {
        EXPECT_TRUE(readFile(ours) == readFile(e.path())) << rel;
        ++compared;
      } else {
        EXPECT_TRUE(fs::is_directory(ours)) << rel;
      }
    }
  }
  EXPECT_GT(compared, 15);
}

// bsdtar takes one file, so volume sets are checked by their CRCs alone:
// every entry must decode and pass, across all volumes.
TEST(UnrarFixtures, CompressedVolumeSetsPassTheirChecks) {
  const fs::path fixtures = LUMESKAR_SHARED_FIXTURES;
  if (!fs::exists(fixtures)) GTEST_SKIP() << "no shared fixtures";
  struct {
    const char* first;
    size_t entries;
  } sets[] = {
      {"test_read_format_rar_multivolume.part0001.rar", 7},
      {"test_read_format_rar5_multiarchive.part01.rar", 2},
      {"test_rar_multivolume_multiple_files.part1.rar", 0},
      {"test_rar_multivolume_single_file.part1.rar", 1},
  };
  for (auto& set : sets) {
    SCOPED_TRACE(set.first);
    RunResult r = runArchive((fixtures / set.first).string(), RAR_TEST, "");
    ASSERT_EQ(r.openResult, 0u);
    EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE);
    if (set.entries) {
      EXPECT_EQ(r.names.size(), set.entries);
    }
    for (size_t i = 0; i < r.codes.size(); ++i) EXPECT_EQ(r.codes[i], 0) << r.names[i];
  }
}

// An entry with a file-version record (an older version kept beside the
// current one) decodes like any other and keeps its stored name.
TEST(UnrarFixtures, EntryWithAFileVersionRecord) {
  const fs::path archive = fs::path(LUMESKAR_SHARED_FIXTURES) / "test_read_format_rar5_extra_field_version.rar";
  if (!fs::exists(archive)) GTEST_SKIP() << "no shared fixtures";
  RunResult r = runArchive(archive.string(), RAR_TEST, "");
  ASSERT_EQ(r.openResult, 0u);
  EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE);
  EXPECT_EQ(r.names, (std::vector<std::string>{"bin/2to3", "bin/2to3"}));
  EXPECT_EQ(r.codes, (std::vector<int>{0, 0}));
}
