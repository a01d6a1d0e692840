// The records must match the published layout byte for byte, and the
// library must export the whole interface.
#include <cstddef>

#include "platform/VolumeName.h"
#include "tests/unrar/UnrarLib.h"

TEST(UnrarLayout, RecordSizesAndOffsets) {
  EXPECT_EQ(sizeof(RARHeaderData), 576u);
  EXPECT_EQ(sizeof(RAROpenArchiveData), 36u);
  EXPECT_EQ(sizeof(RARHeaderDataEx), 14340u);
  EXPECT_EQ(sizeof(RAROpenArchiveDataEx), 176u);

  struct {
    size_t actual, expected;
    const char* what;
  } offsets[] = {
      {offsetof(RARHeaderData, FileName), 260, "FileName"},
      {offsetof(RARHeaderData, Flags), 520, "Flags"},
      {offsetof(RARHeaderData, FileCRC), 536, "FileCRC"},
      {offsetof(RARHeaderData, CmtBuf), 556, "CmtBuf"},
      {offsetof(RARHeaderData, CmtState), 572, "CmtState"},
      {offsetof(RARHeaderDataEx, FileName), 5120, "Ex.FileName"},
      {offsetof(RARHeaderDataEx, Flags), 10240, "Ex.Flags"},
      {offsetof(RARHeaderDataEx, CmtBuf), 10284, "Ex.CmtBuf"},
      {offsetof(RARHeaderDataEx, DictSize), 10304, "Ex.DictSize"},
      {offsetof(RARHeaderDataEx, Hash), 10312, "Ex.Hash"},
      {offsetof(RARHeaderDataEx, RedirName), 10348, "Ex.RedirName"},
      {offsetof(RARHeaderDataEx, MtimeLow), 10364, "Ex.MtimeLow"},
      {offsetof(RARHeaderDataEx, ArcNameEx), 10388, "Ex.ArcNameEx"},
      {offsetof(RARHeaderDataEx, FileNameEx), 10400, "Ex.FileNameEx"},
      {offsetof(RARHeaderDataEx, Reserved), 10412, "Ex.Reserved"},
      {offsetof(RAROpenArchiveData, OpenMode), 8, "Open.OpenMode"},
      {offsetof(RAROpenArchiveData, CmtBuf), 16, "Open.CmtBuf"},
      {offsetof(RAROpenArchiveData, CmtState), 32, "Open.CmtState"},
      {offsetof(RAROpenArchiveDataEx, OpenMode), 16, "OpenEx.OpenMode"},
      {offsetof(RAROpenArchiveDataEx, CmtBuf), 24, "OpenEx.CmtBuf"},
      {offsetof(RAROpenArchiveDataEx, Flags), 44, "OpenEx.Flags"},
      {offsetof(RAROpenArchiveDataEx, Callback), 48, "OpenEx.Callback"},
      {offsetof(RAROpenArchiveDataEx, UserData), 56, "OpenEx.UserData"},
      {offsetof(RAROpenArchiveDataEx, OpFlags), 64, "OpenEx.OpFlags"},
      {offsetof(RAROpenArchiveDataEx, CmtBufW), 68, "OpenEx.CmtBufW"},
      {offsetof(RAROpenArchiveDataEx, MarkOfTheWeb), 76, "OpenEx.MarkOfTheWeb"},
      {offsetof(RAROpenArchiveDataEx, Reserved), 84, "OpenEx.Reserved"},
  };
  for (auto& o : offsets) EXPECT_EQ(o.actual, o.expected) << o.what;
}

TEST(UnrarLayout, LibraryExportsTheInterface) {
  UnrarLib& lib = UnrarLib::get();
  ASSERT_NE(lib.handle, nullptr) << dlerror();
  const bool loaded[] = {
      lib.OpenArchive != nullptr,        lib.OpenArchiveEx != nullptr, lib.CloseArchive != nullptr,
      lib.ReadHeader != nullptr,         lib.ReadHeaderEx != nullptr,  lib.ProcessFile != nullptr,
      lib.ProcessFileW != nullptr,       lib.SetCallback != nullptr,   lib.SetChangeVolProc != nullptr,
      lib.SetProcessDataProc != nullptr, lib.SetPassword != nullptr,   lib.GetDllVersion != nullptr};
  for (bool found : loaded) EXPECT_TRUE(found);
  EXPECT_EQ(lib.GetDllVersion(), RAR_DLL_VERSION);
}

TEST(UnrarVolumeName, NextNameByRule) {
  struct {
    const char* name;
    bool newNumbering;
    const char* next;
  } cases[] = {
      {"x.part1.rar", true, "x.part2.rar"},
      {"x.part9.rar", true, "x.part10.rar"},
      {"x.part09.rar", true, "x.part10.rar"},
      {"x.part0099.rar", true, "x.part0100.rar"},
      {"x.part99.rar", true, "x.part100.rar"},
      {"/d/v1.2/x.part3.rar", true, "/d/v1.2/x.part4.rar"},
      {"x.rar", true, "x.r00"},  // no number: old rule
      {"x.rar", false, "x.r00"},
      {"X.RAR", false, "X.R00"},
      {"x.r00", false, "x.r01"},
      {"x.r09", false, "x.r10"},
      {"x.r99", false, "x.s00"},
      {"x.000", false, "x.001"},
      {"x.001", false, "x.002"},
      {"x.099", false, "x.100"},
      {"a.part1.b/x.r05", false, "a.part1.b/x.r06"},
  };
  for (auto& c : cases)
    EXPECT_EQ(platform::NextVolumeName(
                  c.name, c.newNumbering ? platform::VolumeNumbering::New : platform::VolumeNumbering::Old),
              c.next)
        << c.name;
}
