#pragma once
// The extraction flows started from the window: the "Extract" label (flows
// A-C), the folder typed into a prompt, and the hand-off after a clean check
// (flow D); the extraction component's events, cancelling, and the image
// search with the follow-up launch after every run. The window is reached
// only through ExtractionUi and the release's state through the
// ReleaseContext, so the run is plain C++ that tests drive with a recorder.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "release/ReleaseContext.h"
#include "release/RunUi.h"
#include "unrar/unrar.h"

class TRAR;

namespace extract {

// The options panel's extraction controls, as they are when read.
struct ExtractionOptions {
  bool chooseFolder = false;  // "choose where to extract" (choosecb)
  bool extractToDir = false;  // "Extract to Directory" (extracttodircb)
  std::string extractDir;     // the configured folder (extracttodir)
  bool useBin = false;        // image search takes *.bin (binbutton)
  bool useCue = false;        // image search takes *.cue (cuebutton)
  bool runAfter = false;      // run a program after extraction (afterextbox)
  std::string afterRun;       // its command text (afterextrun)
};

// The two folder prompts: one for an extraction without a check, one after a
// clean check.
enum class FolderPrompt { Extract, AfterCheck };

// What the extraction needs from the window, beyond what every run needs.
class ExtractionUi : public release::RunUi {
 public:
  virtual ExtractionOptions Options() const = 0;
  virtual void ShowFolderPrompt(FolderPrompt prompt) = 0;
  // The options panel's lines naming the found image, and the follow-up
  // program with its parameters.
  virtual void ShowImage(const std::string& imagefile) = 0;
  virtual void ShowFollowUp(const std::string& program, const std::string& parameters) = 0;
  // The password prompt: `prompt` is the text to show. False for Cancel.
  // The answer is the run's alone: it is never stored.
  virtual bool AskPassword(const std::string& prompt, std::string& password) = 0;
};

class ExtractionRun {
 public:
  // `extractor` is the window's extraction component; it is read at every
  // run, so the window may replace it.
  ExtractionRun(ExtractionUi& ui, release::ReleaseContext& context, TRAR*& extractor)
      : ui_(ui), ctx_(context), rar_(extractor) {}

  // A click on "Extract": the folder prompt when "choose where to extract"
  // is on, else an extraction into the configured folder. Nothing while a
  // check or an extraction runs, or without a configured folder.
  void ExtractClicked();
  // Enter in a folder prompt: creates the folder (one level) and extracts
  // into it. False when a run is under way; the prompt then stays as it is.
  bool FolderEntered(FolderPrompt prompt, const std::string& folder);
  // The extraction side of a clean check: chooses the archive (the first
  // volume of the RAR set listed in the SFV file, else the last file
  // checked), opens the folder prompt when "choose where to extract" is on,
  // and extracts into the configured folder when "Extract to Directory" is.
  void AfterCleanCheck();

  // A click on CANCEL: stops the running extraction.
  void Cancel();
  // The window is closing: a running check or extraction stops as on CANCEL,
  // so it does not go on unseen and start the follow-up program.
  void WindowClosing();

  // The extraction component's events.
  int OnData(TRAR& sender, int size);  // data unpacked; 0 stops the entry
  void OnError();
  void OnExtracting();
  // An entry has been unpacked (`written`: it went through) or has failed.
  void OnExtracted(const RARHeaderData& entry, bool written);
  // Before an encrypted entry, or while an archive with encrypted headers
  // opens (empty FileName): asks for the password unless this run already
  // has one, or the user cancelled the prompt in this run (the encrypted
  // entries are then skipped). After a wrong password it asks again,
  // naming the entry.
  void OnPasswordRequest(const RARHeaderData& header, std::string& password);
  // A password turned out wrong: says so, once for each wrong answer.
  void OnBadPassword(const RARHeaderData& header, int error);

 private:
  enum class Outcome { Extracted, Failed, Cancelled };
  void ExtractWithoutCheck(const std::string& folder);                     // flows B and C
  void ExtractAfterCheckInto(const std::string& folder);                   // flow D, typed folder
  Outcome Extract(const std::string& archive, const std::string& folder);  // Failed: an error was reported
  void SearchFirstVolume();
  std::string ReleaseFolder() const;
  void FollowUp(const std::string& folder, bool report);  // after a run that extracted everything
  void ShowCancel(bool shown);

  ExtractionUi& ui_;
  release::ReleaseContext& ctx_;
  TRAR*& rar_;

  // The extraction in progress: its data count for the progress bar,
  // whether CANCEL was clicked, and the entries it wrote, the only files the
  // image search afterwards may take.
  bool active_ = false;
  bool cancelled_ = false;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
  std::vector<std::string> written_;
  // Passwords in this extraction: the archive they are asked for, Cancel
  // clicked in the prompt, and the last answer found wrong.
  std::string archive_;
  bool declined_ = false;
  bool askAgain_ = false;
  std::chrono::steady_clock::time_point lastPump_ = std::chrono::steady_clock::now();
};

// Status line texts the extraction sets.
inline constexpr const char* kStatusExtracting = "Extracting Archive, please wait...";
inline constexpr const char* kStatusExtractError = "Unexpected error occured whilst extracting archive!";
inline constexpr const char* kStatusCompletedRun = "Extraction Completed, processing executable...";
inline constexpr const char* kStatusCompletedAll = "Extraction Completed, All jobs done!";
inline constexpr const char* kStatusDoneNoCheck =
    "Extraction Done! (No SFV check was done), Click here to SFV check this release.";
inline constexpr const char* kStatusNoArchive = "Unable to find RAR file";
inline constexpr const char* kStatusCancelled = "Extraction cancelled.";
inline constexpr const char* kStatusLaunched = "External program successfully launched, all tasks completed!";
inline constexpr const char* kStatusNotLaunched = "External program unsuccessfully launched, partial tasks completed!";

// The password prompt's text and the two messages after a wrong password;
// the name is the entry's, or the archive's when its headers are encrypted.
std::string PasswordPrompt(const std::string& archive, const std::string& entry);
std::string WrongPasswordMessage(const std::string& name, int error);

}  // namespace extract
