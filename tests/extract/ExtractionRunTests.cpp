// The extraction flows as plain logic: releases written by the project's RAR
// writer into a temporary folder, the real libunrar.so, a recording window
// and a recording follow-up program.
#include "extract/ExtractionRun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "extract/RARArc.h"
#include "platform/DirSearch.h"
#include "platform/Path.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/EncryptedRar.h"
#include "tests/common/LaunchTestSupport.h"
#include "tests/common/RecordingRunUi.h"
#include "tests/common/TempDir.h"
#include "tools/RarWriter.h"

using namespace extract;

namespace {

const std::string kLibrary = std::string(LUMESKAR_BINARY_DIR) + "/libunrar.so";
using Calls = std::vector<std::vector<std::string>>;

// Records what the run shows; the only faked part.
struct RecordingUi : testing_support::RecordingRunUi<ExtractionUi> {
  std::vector<std::string> prompts;
  ExtractionOptions options;
  std::string image, program, parameters;

  ExtractionOptions Options() const override { return options; }
  void ShowFolderPrompt(FolderPrompt p) override {
    prompts.push_back(p == FolderPrompt::Extract ? "extract" : "after check");
  }
  void ShowImage(const std::string& i) override { image = i; }
  void ShowFollowUp(const std::string& p, const std::string& a) override {
    program = p;
    parameters = a;
  }
  std::vector<std::string> passwordPrompts;
  std::vector<std::string> passwordAnswers;  // given in turn; past the last one, Cancel
  bool AskPassword(const std::string& prompt, std::string& password) override {
    passwordPrompts.push_back(prompt);
    if (passwordPrompts.size() > passwordAnswers.size()) return false;
    password = passwordAnswers[passwordPrompts.size() - 1];
    return true;
  }
};

const std::string kReadme = "read me\n";
std::vector<rarwriter::RarEntry> ImageRelease() {
  return {rarwriter::File("readme.txt", kReadme), rarwriter::Pattern("game.iso", 20000, 7)};
}

// A release: the volumes of a set with a disc image, listed last-first in its
// SFV file so only a real first-volume search picks the right one; a
// recording follow-up program; the extraction run on a recording window.
struct Release {
  testing_support::TempDir dir;
  std::string rel = dir / "rel";
  std::vector<std::string> volumes;
  std::unique_ptr<launchtest::Recorder> recorder;
  release::ReleaseContext context;  // fresh for every test
  std::string sfvmemo;              // the window's entry list
  bool busy = false;                // the window's busy flag
  RecordingUi ui;
  TRAR* winrar = nullptr;
  ExtractionRun run{ui, context, winrar};

  explicit Release(const std::vector<rarwriter::RarEntry>& entries = ImageRelease()) {
    mkdir(rel.c_str(), 0755);
    rarwriter::RarOptions options;
    options.volumeSize = 4096;
    volumes = rarwriter::WriteRar(rel, "game", entries, options);
    std::string sfv = "; made by the tests\r\n";
    for (auto v = volumes.rbegin(); v != volumes.rend(); ++v) sfv += platform::FileNameOf(*v) + " 00000000\r\n";
    context.sfvfile = rel + "/game.sfv";
    testing_support::WriteFile(context.sfvfile, sfv);
    sfvmemo = sfv;
    ui.sfvmemo = &sfvmemo;
    ui.busy = &busy;
    recorder = std::make_unique<launchtest::Recorder>(dir.path(), "lumeskar-follow-up");
    UseLibrary(kLibrary);
    ui.options.runAfter = true;
    ui.options.afterRun = recorder->program + " --mount %F";
  }
  ~Release() { delete winrar; }
  // A new extraction component on `library`, its events going to the run.
  void UseLibrary(const std::string& library) {
    delete winrar;
    winrar = new TRAR(library);
    winrar->OnProcessData = [this](TRAR* s, unsigned char*, int size, int64_t) { return run.OnData(*s, size); };
    winrar->OnError = [this](TRAR*, int) { run.OnError(); };
    winrar->OnExtract = [this](TRAR*, const RARHeaderData& h, bool ok) { run.OnExtracted(h, ok); };
    winrar->OnReqPassword = [this](TRAR*, const RARHeaderData& h, std::string& p) { run.OnPasswordRequest(h, p); };
    winrar->OnBadPassword = [this](TRAR*, const RARHeaderData& h, int e) { run.OnBadPassword(h, e); };
  }
  // The release as one archive, game.rar, of the given entries.
  void MakeEncrypted(const std::vector<testing_support::EncryptedEntry>& entries, const std::string& hp = {}) {
    for (const auto& v : volumes) unlink(v.c_str());
    volumes = {rel + "/game.rar"};
    testing_support::WriteFile(volumes[0], testing_support::EncryptedRar4(entries, hp));
    sfvmemo = "game.rar 00000000\r\n";
    testing_support::WriteFile(context.sfvfile, sfvmemo);
  }
  std::string Out() {
    const std::string out = dir / "out dir";  // a blank inside, no trailing '/'
    mkdir(out.c_str(), 0755);
    return out;
  }
  // The follow-up calls once a late start would have shown.
  Calls CallsAfterAWhile() const {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return recorder->Calls();
  }
  bool Showed(const char* status) const {
    return std::find(ui.statuses.begin(), ui.statuses.end(), status) != ui.statuses.end();
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
    cancelShownDuring = cancelShownDuring || (r.ui.cancelVisible && !r.ui.originVisible && r.busy);
    return r.run.OnData(*s, size);
  };

  r.run.ExtractClicked();

  EXPECT_EQ(launchtest::ReadFile(r.ui.options.extractDir + "/readme.txt"), kReadme);
  EXPECT_TRUE(launchtest::ReadFile(r.ui.options.extractDir + "/game.iso") == rarwriter::PatternBytes(7, 0, 20000));
  EXPECT_EQ(r.context.archivefile, r.rel + "/game.part1.rar");
  EXPECT_EQ(r.context.imagefile, r.ui.options.extractDir + "/game.iso");
  EXPECT_EQ(r.context.imagesearch.Name, "game.iso");
  EXPECT_EQ(r.ui.Status(), kStatusDoneNoCheck);
  EXPECT_EQ(r.ui.image, r.context.imagefile);
  EXPECT_EQ(r.ui.program, r.recorder->program);
  EXPECT_EQ(r.ui.parameters, "--mount " + r.context.imagefile);
  EXPECT_EQ(r.recorder->WaitForCalls(1), (Calls{{"--mount", r.context.imagefile}}));
  EXPECT_TRUE(cancelShownDuring);
  EXPECT_FALSE(r.busy);
  EXPECT_FALSE(r.ui.cancelVisible);
  EXPECT_TRUE(r.ui.originVisible);
  EXPECT_FALSE(r.ui.progressVisible);
  EXPECT_EQ(r.ui.progressTotal, SetSizeForTest(r.volumes));
  EXPECT_TRUE(r.ui.messages.empty());
}

// Passwords: asked once per run with the archive's name and kept; a wrong
// one is said once and asked again naming the entry; Cancel skips the
// encrypted entries; nothing half-written is left of a failed entry.
TEST(ExtractionRun, PasswordsAreAskedKeptForTheRunAndAskedAgainWhenWrong) {
  const std::string image = rarwriter::PatternBytes(7, 0, 20000);
  const struct {
    std::string what;
    std::vector<testing_support::EncryptedEntry> entries;
    std::string headerPassword;
    std::vector<std::string> answers;
    std::vector<std::string> prompts, messages;
    bool imageOut;
  } rows[] = {
      {"one password for the run",
       {{"readme.txt", kReadme, "pw"}, {"game.iso", image, "pw"}},
       "",
       {"pw"},
       {"Enter the password for game.rar:"},
       {},
       true},
      {"a second password after a wrong one",
       {{"readme.txt", kReadme, "pw"}, {"game.iso", image, "other"}},
       "",
       {"pw", "other"},
       {"Enter the password for game.rar:", "Enter the password for game.iso in game.rar:"},
       {"Wrong password or damaged data in game.iso"},
       true},
      {"wrong, then cancelled",
       {{"readme.txt", kReadme, ""}, {"game.iso", image, "right"}},
       "",
       {"wrong"},
       {"Enter the password for game.rar:", "Enter the password for game.iso in game.rar:"},
       {"Wrong password or damaged data in game.iso"},
       false},
      {"cancelled at once",
       {{"game.iso", image, "pw"}, {"readme.txt", kReadme, "pw"}},
       "",
       {},
       {"Enter the password for game.rar:"},
       {},
       false},
      {"encrypted headers",
       {{"readme.txt", kReadme, "hp"}, {"game.iso", image, "hp"}},
       "hp",
       {"bad", "hp"},
       {"Enter the password for game.rar:", "Enter the password for game.rar:"},
       {"Wrong password or damaged data in game.rar"},
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Release r;
    r.MakeEncrypted(row.entries, row.headerPassword);
    r.ui.passwordAnswers = row.answers;
    r.ui.options.extractDir = r.Out();
    r.run.ExtractClicked();
    EXPECT_EQ(r.ui.passwordPrompts, row.prompts);
    EXPECT_EQ(r.ui.messages, row.messages);
    const std::string out = r.ui.options.extractDir;
    EXPECT_EQ(platform::FileExists(out + "/game.iso"), row.imageOut);
    if (row.imageOut) {
      EXPECT_TRUE(launchtest::ReadFile(out + "/game.iso") == image);
    }
    // No temporary or partial file beside what was extracted.
    for (auto& f : std::filesystem::directory_iterator(out))
      EXPECT_TRUE(f.path().filename() == "game.iso" || f.path().filename() == "readme.txt") << f.path();
    if (row.imageOut) {
      EXPECT_EQ(r.recorder->WaitForCalls(1), (Calls{{"--mount", out + "/game.iso"}}));
    }
  }
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
  r.busy = true;
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
  EXPECT_FALSE(r.busy);
  EXPECT_TRUE(r.CallsAfterAWhile().empty());
}

TEST(ExtractionRun, AFailedExtractionKeepsItsError) {
  // Real failures: a damaged volume, no library, a folder in the way of the
  // image, and a full disk (a file size limit in a child process); each in
  // an extraction without a check and in one after a check.
  enum Fault { Damaged, NoLibrary, FolderInTheWay, FullDisk };
  for (const Fault fault : {Damaged, NoLibrary, FolderInTheWay, FullDisk}) {
    for (const bool afterCheck : {false, true}) {
      SCOPED_TRACE(testing::Message() << "fault " << fault << (afterCheck ? ", after a check" : ", no check"));
      auto entries = ImageRelease();
      entries[1].damageData = fault == Damaged;
      Release r(entries);
      if (fault == NoLibrary) r.UseLibrary(r.dir / "no-library/libunrar.so");
      const std::string out = r.ui.options.extractDir = r.Out();
      if (fault == FolderInTheWay) mkdir((out + "/game.iso").c_str(), 0755);
      r.context.archivefile = r.rel + "/game.part1.rar";
      r.ui.options.runAfter = false;  // after a check, a follow-up launch reports over the error
      auto extract = [&r, afterCheck, out] {
        if (afterCheck)
          r.run.FolderEntered(FolderPrompt::AfterCheck, out);
        else
          r.run.ExtractClicked();
        return r.ui.Status() == kStatusExtractError && !r.Showed(kStatusDoneNoCheck) ? 0 : 1;
      };
      EXPECT_EQ(fault == FullDisk ? testing_support::RunInChild(extract, {.maxFileSize = 10000}) : extract(), 0)
          << (r.ui.statuses.empty() ? "" : r.ui.Status());
      if (fault == Damaged) {
        EXPECT_FALSE(platform::FileExists(out + "/game.iso")) << "a damaged file is not left behind";
        EXPECT_EQ(launchtest::ReadFile(out + "/readme.txt"), kReadme);
      }
    }
  }
}

TEST(ExtractionRun, OnlyAnImageTheRunWroteIsHandedToTheFollowUp) {
  // An old.iso lies in the folder from before, and an earlier run found one.
  // In every flow a failed run (a damaged image) starts nothing and keeps its
  // error; a clean run of a release without an image never hands either on.
  enum Flow { Label, Prompt, PromptAfterCheck, AfterCheck };
  for (const Flow flow : {Label, Prompt, PromptAfterCheck, AfterCheck}) {
    for (const bool damaged : {true, false}) {
      SCOPED_TRACE(testing::Message() << "flow " << flow << (damaged ? ", damaged image" : ", no image"));
      auto entries = ImageRelease();
      entries[1].damageData = true;
      if (!damaged) entries.pop_back();
      Release r(entries);
      const std::string out = r.ui.options.extractDir = r.Out();
      r.ui.options.extractToDir = true;
      testing_support::WriteFile(out + "/old.iso", "an image from before");
      r.context.imagefile = r.dir / "earlier/game.iso";
      r.context.archivefile = r.volumes.front();
      switch (flow) {
        case Label: r.run.ExtractClicked(); break;
        case Prompt: r.run.FolderEntered(FolderPrompt::Extract, out); break;
        case PromptAfterCheck: r.run.FolderEntered(FolderPrompt::AfterCheck, out); break;
        case AfterCheck:
          r.busy = true;
          r.run.AfterCleanCheck();
          break;
      }
      if (damaged) {
        EXPECT_EQ(r.ui.Status(), kStatusExtractError);
        EXPECT_TRUE(r.CallsAfterAWhile().empty());
      } else {
        EXPECT_EQ(r.recorder->WaitForCalls(1), (Calls{{"--mount", ""}}));
        const bool reports = flow == PromptAfterCheck || flow == AfterCheck;
        EXPECT_EQ(r.ui.Status(), reports ? kStatusLaunched : kStatusDoneNoCheck);
      }
      EXPECT_EQ(launchtest::ReadFile(out + "/old.iso"), "an image from before");
    }
  }
}

TEST(ExtractionRun, AFolderEnteredInAPromptIsCreatedAndExtractedInto) {
  struct Case {
    FolderPrompt prompt;
    std::string folder;  // under the release's temporary folder
    bool exists;         // made before it is entered
    const char* status;
    std::string command = "";  // the follow-up command, when not the recorder
  };
  const Case cases[] = {
      {FolderPrompt::Extract, "typed", false, kStatusDoneNoCheck},
      {FolderPrompt::Extract, "existing/", true, kStatusDoneNoCheck},  // a trailing '/' as typed
      {FolderPrompt::AfterCheck, "new folder", false, kStatusLaunched},
      {FolderPrompt::AfterCheck, "new folder", false, kStatusNotLaunched, "lumeskar-no-such-program %F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + " " + c.status);
    Release r;
    r.ui.options.extractDir = r.dir / "configured";
    if (!c.command.empty()) r.ui.options.afterRun = c.command;
    r.context.archivefile = r.rel + "/game.part1.rar";  // what the check leaves
    const std::string folder = r.dir / c.folder;
    if (c.exists) mkdir(folder.c_str(), 0755);
    const std::string image = folder + (c.folder.ends_with('/') ? "" : "/") + "game.iso";

    EXPECT_TRUE(r.run.FolderEntered(c.prompt, folder));

    EXPECT_TRUE(launchtest::ReadFile(image) == rarwriter::PatternBytes(7, 0, 20000));
    EXPECT_EQ(r.ui.Status(), c.status);
    EXPECT_TRUE(r.ui.messages.empty());
    EXPECT_FALSE(r.busy);
    if (c.command.empty()) {
      EXPECT_EQ(r.recorder->WaitForCalls(1), (Calls{{"--mount", image}}));
    }
    EXPECT_FALSE(platform::FolderExists(r.ui.options.extractDir)) << "the configured folder is left alone";
  }
  // A folder that cannot be made is reported and nothing runs.
  for (const FolderPrompt prompt : {FolderPrompt::Extract, FolderPrompt::AfterCheck}) {
    Release r;
    r.context.archivefile = r.rel + "/game.part1.rar";
    for (const std::string& bad : {r.dir / "no/such/levels", std::string()}) {
      EXPECT_TRUE(r.run.FolderEntered(prompt, bad));
      EXPECT_EQ(r.ui.messages,
                std::vector<std::string>{"Error creating directory (" + bad + " possibly contains invalid characters"});
      r.ui.messages.clear();
    }
    EXPECT_FALSE(platform::FolderExists(r.dir / "no/such"));
    EXPECT_TRUE(r.ui.statuses.empty());
    EXPECT_TRUE(r.CallsAfterAWhile().empty());
  }
}

TEST(ExtractionRun, AfterACleanCheckTheSetsFirstVolumeIsExtractedIntoTheConfiguredFolder) {
  struct Case {
    const char* name;
    bool chooseFolder, extractToDir, configured;
    const char* prompt;  // the prompt opened, if any
    bool extracts;
  };
  const Case cases[] = {
      {"prompt and folder", true, true, true, "after check", true},
      {"folder", false, true, true, nullptr, true},
      {"prompt only", true, false, true, "after check", false},
      // Without a configured folder the library would unpack into the
      // folder the program was started from.
      {"no folder typed", false, true, false, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Release r;
    r.context.archivefile = r.volumes.back();  // what the check leaves: the last file it checked
    r.busy = true;                             // the check is still running when it hands off
    r.ui.options.chooseFolder = c.chooseFolder;
    r.ui.options.extractToDir = c.extractToDir;
    const std::string out = r.Out();
    if (c.configured) r.ui.options.extractDir = out + "/";
    const std::string startedIn = r.dir / "started here";
    mkdir(startedIn.c_str(), 0755);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(startedIn.c_str()), 0);

    r.run.AfterCleanCheck();

    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(r.ui.prompts, c.prompt ? std::vector<std::string>{c.prompt} : std::vector<std::string>{});
    EXPECT_EQ(r.context.archivefile, r.rel + "/game.part1.rar");
    EXPECT_EQ(platform::FindAll(startedIn, "*"), std::vector<std::string>{});
    if (c.extracts) {
      EXPECT_TRUE(launchtest::ReadFile(out + "/game.iso") == rarwriter::PatternBytes(7, 0, 20000));
      EXPECT_EQ(r.ui.Status(), kStatusLaunched);
      EXPECT_EQ(r.recorder->WaitForCalls(1), (Calls{{"--mount", out + "/game.iso"}}));
    } else {
      EXPECT_EQ(platform::FindAll(out, "*"), std::vector<std::string>{});
      EXPECT_TRUE(r.ui.statuses.empty());
      EXPECT_TRUE(r.CallsAfterAWhile().empty());
    }
  }
}

TEST(ExtractionRun, CancelStopsTheExtractionAndTheFollowUp) {
  // When the request comes: CANCEL or closing the window while the data
  // flows (in the middle of the image), closing while the first volume is
  // looked up, and CANCEL of the check while it hands off to extraction.
  enum When { CancelMidImage, CloseMidImage, CloseDuringSearch, CancelDuringHandOff };
  for (const When when : {CancelMidImage, CloseMidImage, CloseDuringSearch, CancelDuringHandOff}) {
    SCOPED_TRACE(testing::Message() << "when " << when);
    Release r;
    const std::string out = r.ui.options.extractDir = r.Out();
    r.ui.options.extractToDir = true;
    uint64_t seen = 0;
    r.winrar->OnProcessData = [&](TRAR* s, unsigned char*, int size, int64_t) {
      seen += static_cast<uint64_t>(size);
      if (seen > kReadme.size() + 4000 && when == CancelMidImage) r.run.Cancel();
      if (seen > kReadme.size() + 4000 && when == CloseMidImage) r.run.WindowClosing();
      return r.run.OnData(*s, size);
    };
    r.ui.onPump = [&] {
      if (when == CloseDuringSearch && r.ui.Status() == kStatusExtracting) r.run.WindowClosing();
      // What CANCEL does to a check: the request the hand-off must honour.
      if (when == CancelDuringHandOff && r.ui.Status() == kStatusExtracting) r.context.cancelcheck = true;
    };
    auto extract = [&] {
      if (when == CancelDuringHandOff) {
        r.busy = true;
        r.run.AfterCleanCheck();
        r.busy = false;
      } else {
        r.run.ExtractClicked();
      }
    };

    extract();

    EXPECT_EQ(r.ui.Status(), kStatusCancelled);
    const bool midImage = when == CancelMidImage || when == CloseMidImage;
    EXPECT_EQ(platform::FindAll(out, "*"),
              midImage ? std::vector<std::string>{"readme.txt"} : std::vector<std::string>{})
        << "no half-written file, no temporary file";
    EXPECT_FALSE(r.context.cancelcheck);
    EXPECT_FALSE(r.busy);
    EXPECT_FALSE(r.ui.cancelVisible);
    EXPECT_TRUE(r.ui.originVisible);
    EXPECT_TRUE(r.CallsAfterAWhile().empty());

    // The request was used up: the next run extracts as usual.
    r.ui.onPump = nullptr;
    seen = 0;
    r.winrar->OnProcessData = [&](TRAR* s, unsigned char*, int size, int64_t) { return r.run.OnData(*s, size); };
    extract();
    EXPECT_TRUE(launchtest::ReadFile(out + "/game.iso") == rarwriter::PatternBytes(7, 0, 20000));
  }
  // Idle, closing asks nothing of a run.
  Release r;
  r.run.WindowClosing();
  EXPECT_FALSE(r.context.cancelcheck);
}

}  // namespace
