#include "extract/RARArc.h"

#include "platform/ProgramDir.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>

// ---------------------------------------------------------------------------
// TStringList

namespace {

// The text as wide characters in the current locale, or nothing when it is
// not valid there.
bool Widen(const std::string& s, std::wstring& out) {
  std::mbstate_t state{};
  const char* src = s.c_str();
  size_t n = std::mbsrtowcs(nullptr, &src, 0, &state);
  if (n == static_cast<size_t>(-1)) return false;
  out.assign(n, L'\0');
  src = s.c_str();
  state = std::mbstate_t{};
  std::mbsrtowcs(out.data(), &src, n, &state);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return true;
}

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

int TStringList::CompareText(const std::string& a, const std::string& b) {
  std::wstring wa, wb;
  if (Widen(a, wa) && Widen(b, wb)) {
    if (wa == wb) return 0;
    int c = Sign(std::wcscoll(wa.c_str(), wb.c_str()));
    return c != 0 ? c : Sign(wa.compare(wb));
  }
  // Not text in this locale: compare bytes, ASCII letters folded.
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

size_t TStringList::LowerBound(const std::string& s) const {
  size_t lo = 0, hi = items_.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (CompareText(items_[mid], s) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

void TStringList::Add(const std::string& s) {
  size_t at = LowerBound(s);
  if (at < items_.size() && CompareText(items_[at], s) == 0) return;
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), s);
}

int TStringList::IndexOf(const std::string& s) const {
  size_t at = LowerBound(s);
  return at < items_.size() && CompareText(items_[at], s) == 0 ? static_cast<int>(at) : -1;
}

TStringList& TStringList::operator=(const std::vector<std::string>& lines) {
  items_.clear();
  for (const auto& l : lines) Add(l);
  return *this;
}

// ---------------------------------------------------------------------------
// The library entry points and the active instance, shared by every TRAR.

namespace {

struct EntryPoints {
  decltype(&RAROpenArchive) OpenArchive = nullptr;
  decltype(&RARCloseArchive) CloseArchive = nullptr;
  decltype(&RARReadHeader) ReadHeader = nullptr;
  decltype(&RARProcessFile) ProcessFile = nullptr;
  decltype(&RARSetChangeVolProc) SetChangeVolProc = nullptr;
  decltype(&RARSetProcessDataProc) SetProcessDataProc = nullptr;
  decltype(&RARSetPassword) SetPassword = nullptr;
  // Not among the seven the component needs: used when present, so that an
  // archive with encrypted headers can ask for its password while opening.
  decltype(&RAROpenArchiveEx) OpenArchiveEx = nullptr;
  decltype(&RARSetCallback) SetCallback = nullptr;
};

EntryPoints gRar;
void* gRarSource = nullptr;  // the library the entry points were taken from
TRAR* gActive = nullptr;     // the TRAR whose run the callbacks report to

template <typename F>
bool Resolve(void* handle, const char* name, F& into) {
  into = reinterpret_cast<F>(::dlsym(handle, name));
  return into != nullptr;
}

// Clears the shared entry points and takes them from `handle`; true when all
// seven were found.
bool ResolveEntryPoints(void* handle) {
  gRar = EntryPoints{};
  gRarSource = handle;
  if (!handle) return false;
  bool all = true;
  all &= Resolve(handle, "RAROpenArchive", gRar.OpenArchive);
  all &= Resolve(handle, "RARCloseArchive", gRar.CloseArchive);
  all &= Resolve(handle, "RARReadHeader", gRar.ReadHeader);
  all &= Resolve(handle, "RARProcessFile", gRar.ProcessFile);
  all &= Resolve(handle, "RARSetChangeVolProc", gRar.SetChangeVolProc);
  all &= Resolve(handle, "RARSetProcessDataProc", gRar.SetProcessDataProc);
  all &= Resolve(handle, "RARSetPassword", gRar.SetPassword);
  if (!Resolve(handle, "RAROpenArchiveEx", gRar.OpenArchiveEx) || !Resolve(handle, "RARSetCallback", gRar.SetCallback))
    gRar.OpenArchiveEx = nullptr;
  return all;
}

void* LoadLibrary(const std::string& path) {
  if (!path.empty()) return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  const std::string beside = platform::ProgramDir() + "libunrar.so";
  if (::access(beside.c_str(), F_OK) == 0)
    if (void* h = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
  return ::dlopen("libunrar.so", RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

// The two plain functions handed to the library. They reach the component
// through the active instance; an exception from a handler must not unwind
// through the library, so it ends the library's work instead (0 = abort).
struct TRARCallbacks {
  static int PASCAL ChangeVolume(char* arcName, int mode) {
    TRAR* r = gActive;
    if (!r || !r->OnVolumeChange) return 1;
    try {
      return r->OnVolumeChange(r, arcName, mode);
    } catch (...) {
      return 0;
    }
  }

  static int CALLBACK Password(UINT msg, LPARAM user, LPARAM p1, LPARAM p2);

  static int PASCAL ProcessData(unsigned char* addr, int size) {
    TRAR* r = gActive;
    if (!r) return 1;
    r->dataCount_ += size;
    if (!r->OnProcessData) return 1;
    try {
      return r->OnProcessData(r, addr, size, r->dataCount_);
    } catch (...) {
      return 0;
    }
  }
};

// ---------------------------------------------------------------------------
// TRAR

// Everything one run owns; released when the run ends, whichever way. The
// run keeps its own copy of the entry points: a handler that creates or
// destroys another TRAR changes the shared ones while this run still needs
// them.
struct TRAR::Run {
  EntryPoints api = gRar;
  TRAR* owner = nullptr;
  std::unique_ptr<TComment> comment = std::make_unique<TComment>();
  std::unique_ptr<RARHeaderData> header = std::make_unique<RARHeaderData>();
  RAROpenArchiveData open{};
  std::vector<char> archiveName;
  std::vector<char> destPath;
  std::string password;
  bool opening = false;        // the library's password callback answers only while opening
  std::string givenAtOpen;     // what it answered during the last open
  std::string headerPassword;  // the password the archive's headers opened with
  HANDLE archive = nullptr;
  bool result = true;

  ~Run() {
    if (archive) api.CloseArchive(archive);
    std::fill(password.begin(), password.end(), '\0');
    std::fill(givenAtOpen.begin(), givenAtOpen.end(), '\0');
    std::fill(headerPassword.begin(), headerPassword.end(), '\0');
  }
  void Close() {
    if (archive) api.CloseArchive(archive);
    archive = nullptr;
  }
};

// The library's password callback while an archive with encrypted headers
// opens: the password it opened with before (when it is opened again), or
// the run's password, or OnReqPassword's answer with an empty entry name.
// Only the narrow request is answered; the wide one, sent first, is left
// blank so the narrow one follows.
int CALLBACK TRARCallbacks::Password(UINT msg, LPARAM user, LPARAM p1, LPARAM p2) {
  if (msg != UCM_NEEDPASSWORD) return 0;
  auto* run = reinterpret_cast<TRAR::Run*>(user);
  if (!run || !run->opening || p2 <= 0) return -1;
  try {
    TRAR* r = run->owner;
    std::string answer = run->headerPassword;
    if (answer.empty()) {
      if (run->password.empty() && r->OnReqPassword) {
        RARHeaderData archive{};
        std::strncpy(archive.ArcName, run->archiveName.data(), sizeof archive.ArcName - 1);
        r->OnReqPassword(r, archive, run->password);
      }
      answer = run->password;
    }
    if (answer.empty() || answer.size() >= static_cast<size_t>(p2)) return -1;
    std::memcpy(reinterpret_cast<char*>(p1), answer.c_str(), answer.size() + 1);
    run->givenAtOpen = answer;
    std::fill(answer.begin(), answer.end(), '\0');
    return 1;
  } catch (...) {
    return -1;
  }
}

TRAR::TRAR(const std::string& libraryPath) {
  handle_ = LoadLibrary(libraryPath);
  loaded_ = ResolveEntryPoints(handle_);
}

TRAR::~TRAR() {
  if (gActive == this) gActive = nullptr;
  if (handle_) {
    if (gRarSource == handle_) ResolveEntryPoints(nullptr);
    ::dlclose(handle_);
  }
}

// Makes a component the active instance for one run. A run started from an
// event handler of another run hands the callbacks back to that run when it
// ends, so its remaining data and volume events reach the right component.
struct TRAR::ActiveScope {
  TRAR* self;
  TRAR* outer = gActive;
  int64_t outerCount;
  explicit ActiveScope(TRAR* s) : self(s), outerCount(s->dataCount_) {
    ++self->runDepth_;
    gActive = self;
  }
  ~ActiveScope() {
    --self->runDepth_;
    if (outer && outer->runDepth_ > 0) {
      gActive = outer;
      if (outer == self) self->dataCount_ = outerCount;
    }
  }
};

void TRAR::RaiseError(int error) {
  if (OnError) OnError(this, error);
}

bool TRAR::ExtractArchive() {
  try {
    if (!loaded_) {
      RaiseError(kErrorNoLibrary);
      return false;
    }
    if (ArchiveName.empty()) {
      RaiseError(kErrorNoArchiveName);
      return false;
    }
    // Another TRAR may have been created since; use this one's library.
    if (gRarSource != handle_ && !ResolveEntryPoints(handle_)) {
      RaiseError(kErrorNoLibrary);
      return false;
    }
    ActiveScope active(this);
    Run run;
    run.owner = this;
    try {
      return RunExtraction(run);
    } catch (...) {
      return false;  // a handler threw: the run ends, the archive is closed
    }
  } catch (...) {
    return false;
  }
}

// Opens ArchiveName for extraction. With OnReqPassword bound, through the
// open call that takes the password callback, which is removed again once
// the archive is open (the component's own callbacks take over).
int TRAR::OpenArchive(Run& run) {
  constexpr unsigned kCommentBufferSize = 65535;
  run.open = RAROpenArchiveData{};
  run.open.ArcName = run.archiveName.data();
  run.open.OpenMode = RAR_OM_EXTRACT;
  run.open.CmtBuf = run.comment->Text;
  run.open.CmtBufSize = kCommentBufferSize;
  run.givenAtOpen.clear();
  if (OnReqPassword && run.api.OpenArchiveEx) {
    RAROpenArchiveDataEx ex{};
    ex.ArcName = run.open.ArcName;
    ex.OpenMode = run.open.OpenMode;
    ex.CmtBuf = run.open.CmtBuf;
    ex.CmtBufSize = run.open.CmtBufSize;
    ex.Callback = &TRARCallbacks::Password;
    ex.UserData = reinterpret_cast<LPARAM>(&run);
    run.opening = true;
    run.archive = run.api.OpenArchiveEx(&ex);
    run.opening = false;
    run.open.OpenResult = ex.OpenResult;
    run.open.CmtSize = ex.CmtSize;
    run.open.CmtState = ex.CmtState;
    if (run.archive) run.api.SetCallback(run.archive, nullptr, 0);
  } else {
    run.archive = run.api.OpenArchive(&run.open);
  }
  int result = static_cast<int>(run.open.OpenResult);
  if (result == 0 && !run.archive) result = ERAR_UNKNOWN;  // no handle to work with
  if (result == 0 && !run.givenAtOpen.empty()) run.headerPassword = run.givenAtOpen;
  return result;
}

// After a wrong password: OnBadPassword, then OnReqPassword with the
// password that failed. True when the answer is a new password to try.
bool TRAR::AskAgain(Run& run, const RARHeaderData& header, int code) {
  if (!OnBadPassword || !OnReqPassword) return false;
  std::string failed = run.password;
  OnBadPassword(this, header, code);
  OnReqPassword(this, header, run.password);
  const bool retry = !run.password.empty() && run.password != failed;
  std::fill(failed.begin(), failed.end(), '\0');
  return retry;
}

// Opens the archive again and walks to entry `index` (counting every header
// read), which must be `name`. Returns 0 or the code that stopped it; the
// archive is closed then.
int TRAR::Reopen(Run& run, int index, const std::string& name) {
  run.Close();
  if (int r = OpenArchive(run)) {
    run.Close();
    return r;
  }
  // A solid archive decodes the entries it skips; they need the password.
  std::vector<char> password(run.password.begin(), run.password.end());
  password.push_back('\0');
  run.api.SetPassword(run.archive, password.data());
  std::fill(password.begin(), password.end(), '\0');
  RARHeaderData& header = *run.header;
  char* destPath = run.destPath.empty() ? nullptr : run.destPath.data();
  for (int i = 0;; ++i) {
    int r = run.api.ReadHeader(run.archive, &header);
    if (r == 0 && i < index) r = run.api.ProcessFile(run.archive, RAR_SKIP, destPath, nullptr);
    if (r == 0 && i == index && name != std::string(header.FileName, strnlen(header.FileName, sizeof header.FileName)))
      r = ERAR_BAD_DATA;
    if (r != 0) {
      run.Close();
      return r == ERAR_END_ARCHIVE ? ERAR_BAD_DATA : r;
    }
    if (i == index) break;
  }
  if (OnVolumeChange) run.api.SetChangeVolProc(run.archive, &TRARCallbacks::ChangeVolume);
  if (OnProcessData) run.api.SetProcessDataProc(run.archive, &TRARCallbacks::ProcessData);
  return 0;
}

// An encrypted entry failed with a password: asks again and extracts the
// entry again while the answer is a new password. Returns the last code.
int TRAR::RetryWithNewPassword(Run& run, RARHeaderData& header, int index, int code) {
  const std::string name(header.FileName, strnlen(header.FileName, sizeof header.FileName));
  while ((code == ERAR_BAD_PASSWORD || code == ERAR_BAD_DATA) && AskAgain(run, header, code)) {
    if (int r = Reopen(run, index, name)) return r;
    std::vector<char> password(run.password.begin(), run.password.end());
    password.push_back('\0');
    run.api.SetPassword(run.archive, password.data());
    std::fill(password.begin(), password.end(), '\0');
    dataCount_ = 0;
    char* destPath = run.destPath.empty() ? nullptr : run.destPath.data();
    code = run.api.ProcessFile(run.archive, RAR_EXTRACT, destPath, nullptr);
  }
  return code;
}

bool TRAR::RunExtraction(Run& run) {
  constexpr unsigned kCommentBufferSize = 65535;
  run.archiveName.assign(ArchiveName.begin(), ArchiveName.end());
  run.archiveName.push_back('\0');
  char* destPath = nullptr;
  if (!TargetDir.empty()) {
    run.destPath.assign(TargetDir.begin(), TargetDir.end());
    run.destPath.push_back('\0');
    destPath = run.destPath.data();
  }

  for (;;) {
    const int openResult = OpenArchive(run);
    run.comment->Length = run.open.CmtSize;
    if (openResult == 0) break;
    run.Close();
    // Encrypted headers and a password that did not open them: ask again.
    RARHeaderData archive{};
    std::strncpy(archive.ArcName, run.archiveName.data(), sizeof archive.ArcName - 1);
    const bool wrong = (openResult == ERAR_BAD_PASSWORD || openResult == ERAR_BAD_DATA) && !run.givenAtOpen.empty();
    if (!wrong || !AskAgain(run, archive, openResult)) {
      RaiseError(openResult);
      return false;
    }
  }
  if (run.open.CmtState == 1 && OnComment) OnComment(this, *run.comment);
  if (OnVolumeChange) run.api.SetChangeVolProc(run.archive, &TRARCallbacks::ChangeVolume);
  RARHeaderData& header = *run.header;
  header.CmtBuf = run.comment->Text;
  header.CmtBufSize = kCommentBufferSize;
  if (OnProcessData) run.api.SetProcessDataProc(run.archive, &TRARCallbacks::ProcessData);

  int read;
  for (int index = 0; (read = run.api.ReadHeader(run.archive, &header)) == 0; ++index) {
    const std::string name(header.FileName, strnlen(header.FileName, sizeof header.FileName));
    if (Stop) {
      Stop = false;
      return run.result;
    }
    if (!FilesToExtract.Empty() && !FilesToExtract.Contains(name)) {
      const int code = run.api.ProcessFile(run.archive, RAR_SKIP, destPath, nullptr);
      if (code != 0) {
        RaiseError(code);
        return false;
      }
      continue;
    }
    if (OnExtracting) OnExtracting(this, header);
    dataCount_ = 0;
    const bool encrypted = header.Flags & RHDF_ENCRYPTED;
    if (encrypted && OnReqPassword) {
      OnReqPassword(this, header, run.password);
      if (!run.password.empty()) {
        std::vector<char> password(run.password.begin(), run.password.end());
        password.push_back('\0');
        run.api.SetPassword(run.archive, password.data());
        std::fill(password.begin(), password.end(), '\0');
      }
    }
    int code = run.api.ProcessFile(run.archive, RAR_EXTRACT, destPath, nullptr);
    if (encrypted && !run.password.empty()) code = RetryWithNewPassword(run, header, index, code);
    if (OnExtract) OnExtract(this, header, code == 0);
    if (code != 0) {
      run.result = false;
      RaiseError(code);
      // Where the user was asked for passwords, an entry without the right
      // one is skipped like a damaged one.
      const bool password = OnReqPassword && (code == ERAR_MISSING_PASSWORD || code == ERAR_BAD_PASSWORD);
      if (!run.archive || (code != ERAR_ECREATE && code != ERAR_BAD_DATA && !password)) return false;
    }
  }
  if (read == ERAR_BAD_DATA) {
    run.result = false;
    RaiseError(ERAR_BAD_DATA);
  }
  return run.result;
}
