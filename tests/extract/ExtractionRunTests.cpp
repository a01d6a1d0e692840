// The extraction flows as plain logic: releases written by the project's RAR
// writer into a temporary folder, the real libunrar.so, a recording window
// and a recording follow-up program.
#include "extract/ExtractionRun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "LaunchTestSupport.h"
#include "extract/RARArc.h"
#include "platform/Path.h"
#include "tests/common/TempDir.h"
#include "tests/settings/ChildProcess.h"
#include "tools/RarWriter.h"

using namespace extract;

namespace {

const std::string kLibrary = std::string(LUMESKAR_BINARY_DIR) + "/libunrar.so";
using Calls = std::vector<std::vector<std::string>>;

// Records what the run shows; the only faked part.
struct RecordingUi : ExtractionUi {
  std::vector<std::string> statuses, messages, prompts;
  bool cancelVisible = false, originVisible = true, progressVisible = false;
  uint64_t progressDone = 0, progressTotal = 0;
  int pumps = 0;
  std::function<void()> onPump;
  std::string sfvmemo;
  bool busy = false;
  ExtractionOptions options;
  std::string image, program, parameters;

  void SetStatus(const std::string& t) override { statuses.push_back(t); }
  void ShowMessage(const std::string& t) override { messages.push_back(t); }
  void ProcessMessages() override {
    ++pumps;
    if (onPump) onPump();
  }
  void SetCancelVisible(bool v) override { cancelVisible = v; }
  void SetOriginVisible(bool v) override { originVisible = v; }
  void ShowProgress(uint64_t done, uint64_t total) override {
    progressVisible = true;
    progressDone = done;
    progressTotal = total;
  }
  void HideProgress() override { progressVisible = false; }
  std::string& EntryList() override { return sfvmemo; }
  bool& Busy() override { return busy; }
  ExtractionOptions Options() const override { return options; }
  void ShowFolderPrompt(FolderPrompt p) override {
    prompts.push_back(p == FolderPrompt::Extract ? "extract" : "after check");
  }
  void ShowImage(const std::string& i) override { image = i; }
  void ShowFollowUp(const std::string& p, const std::string& a) override {
    program = p;
    parameters = a;
  }
  std::string Status() const { return statuses.empty() ? "" : statuses.back(); }
};

// A release: the volumes of a set with a disc image, listed last-first in its
// SFV file so only a real first-volume search picks the right one; a
// recording follow-up program; the extraction run on a recording window.
struct Release {
  testing_support::TempDir dir;
  std::string rel = dir / "rel";
  std::vector<std::string> volumes;
  std::unique_ptr<launchtest::Recorder> recorder;
  release::ReleaseContext context;  // fresh for every test
  RecordingUi ui;
  TRAR* winrar = new TRAR(kLibrary);
  ExtractionRun run{ui, context, winrar};

  Release() {
    mkdir(rel.c_str(), 0755);
    rarwriter::RarOptions options;
    options.volumeSize = 4096;
    volumes = rarwriter::WriteRar(
        rel, "game", {rarwriter::File("readme.txt", "read me\n"), rarwriter::Pattern("game.iso", 20000, 7)}, options);
    std::string sfv = "; made by the tests\r\n";
    for (auto v = volumes.rbegin(); v != volumes.rend(); ++v) sfv += platform::FileNameOf(*v) + " 00000000\r\n";
    context.sfvfile = rel + "/game.sfv";
    testing_support::WriteFile(context.sfvfile, sfv);
    ui.sfvmemo = sfv;
    recorder = std::make_unique<launchtest::Recorder>(dir.path(), "lumeskar-follow-up");
    winrar->OnProcessData = [this](TRAR* s, unsigned char*, int size, int64_t) { return run.OnData(*s, size); };
    winrar->OnError = [this](TRAR*, int) { run.OnError(); };
    winrar->OnExtract = [this](TRAR*, const RARHeaderData&, bool) { run.OnExtracted(); };
    ui.options.runAfter = true;
    ui.options.afterRun = recorder->program + " --mount %F";
  }
  ~Release() { delete winrar; }
  std::string Out() {
    const std::string out = dir / "out";
    mkdir(out.c_str(), 0755);
    return out;
  }
};

uint64_t SetSizeForTest(const std::vector<std::string>& volumes) {
  uint64_t total = 0;
  for (const auto& v : volumes) {
    struct stat st;
    if (stat(v.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
  }
  return total;
}

TEST(ExtractionRun, ExtractUnpacksTheFirstVolumesSetIntoTheConfiguredFolderAndStartsTheFollowUp) {
  Release r;
  ASSERT_GT(r.volumes.size(), 3u);
  r.ui.options.extractDir = r.Out();
  bool cancelShownDuring = false;
  r.winrar->OnProcessData = [&](TRAR* s, unsigned char*, int size, int64_t) {
    cancelShownDuring = cancelShownDuring || (r.ui.cancelVisible && !r.ui.originVisible && r.ui.busy);
    return r.run.OnData(*s, size);
  };

  r.run.ExtractClicked();

  EXPECT_EQ(launchtest::ReadAll(r.ui.options.extractDir + "/readme.txt"), "read me\n");
  EXPECT_EQ(r.context.archivefile, r.rel + "/game.part1.rar");
  EXPECT_EQ(r.context.imagefile, r.ui.options.extractDir + "/game.iso");
  EXPECT_EQ(r.context.imagesearch.Name, "game.iso");
  EXPECT_EQ(r.ui.Status(), kStatusDoneNoCheck);
  EXPECT_EQ(r.ui.image, r.context.imagefile);
  EXPECT_EQ(r.ui.program, r.recorder->program);
  EXPECT_EQ(r.ui.parameters, "--mount " + r.context.imagefile);
  EXPECT_EQ(r.recorder->WaitForCalls(1), (Calls{{"--mount", r.context.imagefile}}));
  EXPECT_TRUE(cancelShownDuring);
  EXPECT_FALSE(r.ui.busy);
  EXPECT_FALSE(r.ui.cancelVisible);
  EXPECT_TRUE(r.ui.originVisible);
  EXPECT_FALSE(r.ui.progressVisible);
  EXPECT_EQ(r.ui.progressTotal, SetSizeForTest(r.volumes));
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(ExtractionRun, ChooseFolderOpensThePromptAndExtractsNothing) {
  Release r;
  r.ui.options.chooseFolder = true;
  r.ui.options.extractDir = r.Out();
  r.run.ExtractClicked();
  EXPECT_EQ(r.ui.prompts, std::vector<std::string>{"extract"});
  EXPECT_EQ(r.context.archivefile, "");
  EXPECT_TRUE(r.ui.statuses.empty());
}

TEST(ExtractionRun, NothingStartsWhileBusyOrWithoutAFolder) {
  Release r;
  r.run.ExtractClicked();  // no configured folder
  r.ui.options.extractDir = r.Out();
  r.ui.busy = true;
  r.run.ExtractClicked();
  EXPECT_FALSE(r.run.FolderEntered(FolderPrompt::Extract, r.Out()));
  EXPECT_TRUE(r.ui.statuses.empty());
  EXPECT_EQ(r.context.checkfile, "");
}

TEST(ExtractionRun, WithoutTheArchiveNothingIsExtractedOrStarted) {
  Release r;
  for (const auto& v : r.volumes) std::remove(v.c_str());
  r.ui.options.extractDir = r.Out();
  r.run.ExtractClicked();
  EXPECT_EQ(r.ui.Status(), kStatusNoArchive);
  EXPECT_FALSE(r.ui.busy);
  EXPECT_TRUE(r.recorder->Calls().empty());
}

TEST(ExtractionRun, AFailedExtractionWithoutACheckKeepsItsError) {
  // Real failures: a folder in the way of the image, and a full disk (a file
  // size limit in a child process).
  for (const bool fullDisk : {false, true}) {
    SCOPED_TRACE(fullDisk ? "full disk" : "folder in the way");
    Release r;
    r.ui.options.extractDir = r.Out();
    if (!fullDisk) mkdir((r.Out() + "/game.iso").c_str(), 0755);
    auto extract = [&r] {
      r.run.ExtractClicked();
      const bool reportedDone =
          std::find(r.ui.statuses.begin(), r.ui.statuses.end(), kStatusDoneNoCheck) != r.ui.statuses.end();
      return r.ui.Status() == kStatusExtractError && !reportedDone ? 0 : 1;
    };
    EXPECT_EQ(fullDisk ? testing_support::RunInChild(extract, {.maxFileSize = 10000}) : extract(), 0)
        << (r.ui.statuses.empty() ? "" : r.ui.Status());
  }
}

TEST(ExtractionRun, PromptCreatesTheFolderAndExtractsIntoIt) {
  Release r;
  const std::string typed = r.dir / "typed";
  EXPECT_TRUE(r.run.FolderEntered(FolderPrompt::Extract, typed));
  EXPECT_EQ(launchtest::ReadAll(typed + "/readme.txt"), "read me\n");
  EXPECT_EQ(r.ui.Status(), kStatusDoneNoCheck);
  // A folder that cannot be made is reported and nothing runs.
  r.ui.statuses.clear();
  const std::string bad = r.dir / "no/such/levels";
  EXPECT_TRUE(r.run.FolderEntered(FolderPrompt::Extract, bad));
  EXPECT_EQ(r.ui.messages,
            std::vector<std::string>{"Error creating directory (" + bad + " possibly contains invalid characters"});
  EXPECT_TRUE(r.ui.statuses.empty());
}

TEST(ExtractionRun, AfterACleanCheckTheSetsFirstVolumeIsExtractedAndTheLaunchReported) {
  Release r;
  r.context.archivefile = r.volumes.back();  // what the check leaves: the last file it checked
  r.ui.options.chooseFolder = true;
  r.ui.options.extractToDir = true;
  r.ui.options.extractDir = r.Out();
  r.run.AfterCleanCheck();
  EXPECT_EQ(r.ui.prompts, std::vector<std::string>{"after check"});
  EXPECT_EQ(r.context.archivefile, r.rel + "/game.part1.rar");
  EXPECT_EQ(launchtest::ReadAll(r.ui.options.extractDir + "/readme.txt"), "read me\n");
  EXPECT_EQ(r.ui.Status(), kStatusLaunched);
}

TEST(ExtractionRun, CancelStopsTheExtractionAndTheFollowUp) {
  Release r;
  r.ui.options.extractDir = r.Out();
  // CANCEL clicked while the data flows.
  r.winrar->OnProcessData = [&](TRAR* s, unsigned char*, int size, int64_t) {
    r.run.Cancel();
    return r.run.OnData(*s, size);
  };
  r.run.ExtractClicked();
  EXPECT_EQ(r.ui.Status(), kStatusCancelled);
  EXPECT_FALSE(r.context.cancelcheck);
  EXPECT_FALSE(r.ui.busy);
  EXPECT_TRUE(r.recorder->Calls().empty());
}

TEST(ExtractionRun, ClosingTheWindowStopsARunningExtraction) {
  Release r;
  r.ui.options.extractDir = r.Out();
  r.winrar->OnProcessData = [&](TRAR* s, unsigned char*, int size, int64_t) {
    r.run.WindowClosing();
    return r.run.OnData(*s, size);
  };
  r.run.ExtractClicked();
  EXPECT_EQ(r.ui.Status(), kStatusCancelled);
  EXPECT_TRUE(r.recorder->Calls().empty());
  // Idle, closing asks nothing of a run.
  r.run.WindowClosing();
  EXPECT_FALSE(r.context.cancelcheck);
}

}  // namespace
