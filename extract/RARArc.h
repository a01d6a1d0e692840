#pragma once
// TRAR: the program's binding of the UnRAR library. It loads libunrar.so when
// it is created (the program's own folder first, then the usual search),
// keeps it for its whole life, and extracts one archive, with the volumes that
// follow it, into a folder. Everything that happens is reported through the
// events; ExtractArchive never throws.
//
// The events are std::function members; binding one to a method of its owner
// (a lambda capturing the owner) gives the usual "handler of the owning form".
// Sender is always the component.
#include "unrar/unrar.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A list of names kept sorted, compared without regard to letter case in the
// current locale, without duplicates, searched by binary search.
class TStringList {
 public:
  // Adds `s` unless a name equal to it (letter case ignored) is present.
  void Add(const std::string& s);
  // Index of `s` (letter case ignored), or -1.
  int IndexOf(const std::string& s) const;
  bool Contains(const std::string& s) const { return IndexOf(s) >= 0; }
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  const std::string& operator[](int i) const { return items_[static_cast<size_t>(i)]; }
  const std::vector<std::string>& Strings() const { return items_; }
  // Replaces the contents with the given lines (sorted, duplicates dropped).
  TStringList& operator=(const std::vector<std::string>& lines);

  // <0, 0, >0 like strcmp, letter case ignored, in the current locale.
  static int CompareText(const std::string& a, const std::string& b);

 private:
  // First position whose item does not sort before `s`.
  size_t LowerBound(const std::string& s) const;
  std::vector<std::string> items_;
};

class TRAR;

// The archive comment handed to OnComment: the size the library reported on
// opening (its count includes the terminating NUL) and the text buffer.
struct TComment {
  uint32_t Length = 0;
  char Text[65536] = {};
};

// Event types. Position is the running count of data bytes delivered for the
// entry being extracted; it is 64 bits wide so that entries over 2 GiB count
// correctly.
using TProcessDataProcN = std::function<int(TRAR* Sender, unsigned char* Addr, int BlockSize, int64_t Position)>;
using TChangeVolProcN = std::function<int(TRAR* Sender, char* ArcName, int Mode)>;
using TErrorProc = std::function<void(TRAR* Sender, int Error)>;
using TCommentProc = std::function<void(TRAR* Sender, const TComment& Comment)>;
using TListFileProc = std::function<void(TRAR* Sender, const RARHeaderData& ListedFile)>;
using TFileBeingExtracted = std::function<void(TRAR* Sender, const RARHeaderData& eFile)>;
using TFileExtracted = std::function<void(TRAR* Sender, const RARHeaderData& eFile, bool Result)>;
using TFileBeingTested = std::function<void(TRAR* Sender, const RARHeaderData& eFile)>;
using TFileTested = std::function<void(TRAR* Sender, const RARHeaderData& eFile, bool Result)>;
using TReqPassword = std::function<void(TRAR* Sender, const RARHeaderData& eFile, std::string& Password)>;
// A password turned out wrong: Error is ERAR_BAD_PASSWORD where the archive
// can tell, ERAR_BAD_DATA where a wrong password and damaged data look the
// same. eFile names the entry, or has an empty FileName when the archive's
// headers are encrypted and the archive did not open.
using TBadPassword = std::function<void(TRAR* Sender, const RARHeaderData& eFile, int Error)>;

class TRAR {
 public:
  // Error values of the component's own (the others come from the library).
  static constexpr int kErrorNoLibrary = 50;
  static constexpr int kErrorNoArchiveName = 13;

  // Loads `libraryPath`, or when it is empty libunrar.so from the program's
  // folder and then by the usual search. Never fails: a missing library or
  // entry point leaves LoadedDLL() false, and every run reports error 50.
  explicit TRAR(const std::string& libraryPath = {});
  ~TRAR();
  TRAR(const TRAR&) = delete;
  TRAR& operator=(const TRAR&) = delete;

  // Runs one extraction; true when no error was reported (a stop request is
  // not an error). All events are raised from inside, on the caller's thread.
  bool ExtractArchive();

  // True when the library was loaded and all seven functions were found.
  bool LoadedDLL() const { return loaded_; }

  std::string ArchiveName;     // the archive, or the volume to start from
  TStringList FilesToExtract;  // entries to extract; empty = every entry
  TStringList FilesToTest;     // kept, not used by any operation
  std::string TargetDir;       // destination; empty = none is passed
  bool Stop = false;           // stop request, honoured between entries

  TProcessDataProcN OnProcessData;
  TChangeVolProcN OnVolumeChange;
  TErrorProc OnError;
  TCommentProc OnComment;
  TListFileProc OnListFile;  // never raised: nothing lists an archive
  TFileBeingExtracted OnExtracting;
  TFileExtracted OnExtract;
  TFileBeingTested OnTesting;  // never raised
  TFileTested OnTested;        // never raised
  TReqPassword OnReqPassword;
  // With this event bound, a wrong password is not the end of the entry:
  // after it, OnReqPassword is raised again with the password that failed,
  // and a different, non-empty answer extracts the entry again (the archive
  // is reopened and walked back to it). OnReqPassword is raised with an
  // empty FileName when an archive with encrypted headers needs its password
  // to open (the library's password callback). While OnReqPassword is bound,
  // an entry refused for a missing or wrong password (codes 22 and 24) does
  // not end the run: the entries after it may need none.
  TBadPassword OnBadPassword;

 private:
  friend struct TRARCallbacks;
  struct Run;
  struct ActiveScope;
  bool RunExtraction(Run& run);
  int OpenArchive(Run& run);
  int Reopen(Run& run, int index, const std::string& name);
  int RetryWithNewPassword(Run& run, RARHeaderData& header, int index, int code);
  bool AskAgain(Run& run, const RARHeaderData& header, int code);
  void RaiseError(int error);

  void* handle_ = nullptr;
  bool loaded_ = false;
  int64_t dataCount_ = 0;  // bytes reported for the entry being extracted
  int runDepth_ = 0;       // runs of this component in progress (nested from handlers)
};
