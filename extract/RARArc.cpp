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

// Everything one run owns; released when the run ends, whichever way. The
// run keeps its own copy of the entry points: a handler that creates or
// destroys another TRAR changes the shared ones while this run still needs
// them.
struct TRAR::Run {
  EntryPoints api = gRar;
  std::unique_ptr<TComment> comment = std::make_unique<TComment>();
  std::unique_ptr<RARHeaderData> header = std::make_unique<RARHeaderData>();
  RAROpenArchiveData open{};
  std::vector<char> archiveName;
  std::vector<char> destPath;
  std::string password;
  HANDLE archive = nullptr;
  bool result = true;

  ~Run() {
    if (archive) api.CloseArchive(archive);
  }
  void Close() {
    if (archive) api.CloseArchive(archive);
    archive = nullptr;
  }
};

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
    try {
      return RunExtraction(run);
    } catch (...) {
      return false;  // a handler threw: the run ends, the archive is closed
    }
  } catch (...) {
    return false;
  }
}

bool TRAR::RunExtraction(Run& run) {
  constexpr unsigned kCommentBufferSize = 65535;
  run.archiveName.assign(ArchiveName.begin(), ArchiveName.end());
  run.archiveName.push_back('\0');
  run.open.ArcName = run.archiveName.data();
  run.open.OpenMode = RAR_OM_EXTRACT;
  run.open.CmtBuf = run.comment->Text;
  run.open.CmtBufSize = kCommentBufferSize;
  run.archive = run.api.OpenArchive(&run.open);
  run.comment->Length = run.open.CmtSize;

  char* destPath = nullptr;
  if (!TargetDir.empty()) {
    run.destPath.assign(TargetDir.begin(), TargetDir.end());
    run.destPath.push_back('\0');
    destPath = run.destPath.data();
  }

  int openResult = static_cast<int>(run.open.OpenResult);
  if (openResult == 0 && !run.archive) openResult = ERAR_UNKNOWN;  // no handle to work with
  if (openResult != 0) {
    run.Close();
    RaiseError(openResult);
    return false;
  }
  if (run.open.CmtState == 1 && OnComment) OnComment(this, *run.comment);
  if (OnVolumeChange) run.api.SetChangeVolProc(run.archive, &TRARCallbacks::ChangeVolume);
  RARHeaderData& header = *run.header;
  header.CmtBuf = run.comment->Text;
  header.CmtBufSize = kCommentBufferSize;
  if (OnProcessData) run.api.SetProcessDataProc(run.archive, &TRARCallbacks::ProcessData);

  int read;
  while ((read = run.api.ReadHeader(run.archive, &header)) == 0) {
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
    if ((header.Flags & RHDF_ENCRYPTED) && OnReqPassword) {
      OnReqPassword(this, header, run.password);
      if (!run.password.empty()) {
        std::vector<char> password(run.password.begin(), run.password.end());
        password.push_back('\0');
        run.api.SetPassword(run.archive, password.data());
      }
    }
    const int code = run.api.ProcessFile(run.archive, RAR_EXTRACT, destPath, nullptr);
    if (OnExtract) OnExtract(this, header, code == 0);
    if (code != 0) {
      run.result = false;
      RaiseError(code);
      if (code != ERAR_ECREATE && code != ERAR_BAD_DATA) return false;
    }
  }
  if (read == ERAR_BAD_DATA) {
    run.result = false;
    RaiseError(ERAR_BAD_DATA);
  }
  return run.result;
}
