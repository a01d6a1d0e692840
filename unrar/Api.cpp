// The exported UnRAR C functions: argument checking and record filling
// around unrar::Archive.
#include <cstring>
#include <new>

#include "unrar/Archive.h"
#include "unrar/Text.h"
#include "unrar/unrar.h"

#define UNRAR_EXPORT extern "C" __attribute__((visibility("default")))

using unrar::Archive;
using unrar::copyField;

namespace {

Archive* from(HANDLE h) { return static_cast<Archive*>(h); }

// The archive comment into CmtBuf/CmtBufW: size counts the terminating NUL,
// state is 1, or ERAR_SMALL_BUF when the text was cut to fit.
void fillComment(const Archive& a, RAROpenArchiveDataEx* d) {
  d->CmtSize = d->CmtState = 0;
  if (!a.hasComment() || d->CmtBufSize == 0) return;
  const std::string& text = a.comment();
  if (d->CmtBufW) {
    std::wstring wide = unrar::utf8ToWide(text.c_str());
    size_t size = wcslen(wide.c_str()) + 1;
    d->CmtState = size > d->CmtBufSize ? ERAR_SMALL_BUF : 1;
    d->CmtSize = unsigned(std::min<size_t>(size, d->CmtBufSize));
    copyField(d->CmtBufW, d->CmtSize, wide);
  } else if (d->CmtBuf) {
    size_t size = strlen(text.c_str()) + 1;
    d->CmtState = size > d->CmtBufSize ? ERAR_SMALL_BUF : 1;
    d->CmtSize = unsigned(std::min<size_t>(size, d->CmtBufSize));
    memcpy(d->CmtBuf, text.data(), d->CmtSize - 1);
    d->CmtBuf[d->CmtSize - 1] = 0;
  }
}

void fillHeader(const Archive& a, RARHeaderDataEx* d) {
  const unrar::FileHeader& f = a.entry();
  copyField(d->ArcName, sizeof d->ArcName, a.volumePath());
  copyField(d->ArcNameW, sizeof d->ArcNameW / sizeof(wchar_t), unrar::utf8ToWide(a.volumePath()));
  copyField(d->FileName, sizeof d->FileName, f.name);
  std::wstring wideName = unrar::utf8ToWide(f.name);
  copyField(d->FileNameW, sizeof d->FileNameW / sizeof(wchar_t), wideName);
  d->Flags = (f.splitBefore ? RHDF_SPLITBEFORE : 0) | (f.splitAfter ? RHDF_SPLITAFTER : 0) |
             (f.encrypted ? RHDF_ENCRYPTED : 0) | (f.solid ? RHDF_SOLID : 0) | (f.directory ? RHDF_DIRECTORY : 0);
  d->PackSize = unsigned(f.packSize);
  d->PackSizeHigh = unsigned(f.packSize >> 32);
  d->UnpSize = unsigned(f.unpSize);
  d->UnpSizeHigh = unsigned(f.unpSize >> 32);
  d->HostOS = f.hostOs;
  d->FileCRC = f.crc;
  d->FileTime = f.dosTime;
  d->UnpVer = f.unpVer;
  d->Method = f.method + 0x30;
  d->FileAttr = f.attr;
  d->CmtSize = d->CmtState = 0;  // per-file comments do not exist
  d->DictSize = unsigned(std::min<uint64_t>(f.dictKiB, UINT32_MAX));
  d->HashType = f.hashType;
  memset(d->Hash, 0, sizeof d->Hash);
  if (f.hashType == RAR_HASH_BLAKE2) memcpy(d->Hash, f.blake2, sizeof d->Hash);
  d->RedirType = f.redirType;
  if (d->RedirName && d->RedirNameSize > 0) copyField(d->RedirName, d->RedirNameSize, unrar::utf8ToWide(f.redirTarget));
  d->DirTarget = f.dirTarget;
  d->MtimeLow = unsigned(f.mtime);
  d->MtimeHigh = unsigned(f.mtime >> 32);
  d->CtimeLow = unsigned(f.ctime);
  d->CtimeHigh = unsigned(f.ctime >> 32);
  d->AtimeLow = unsigned(f.atime);
  d->AtimeHigh = unsigned(f.atime >> 32);
  if (d->ArcNameEx && d->ArcNameExSize > 0)
    copyField(d->ArcNameEx, d->ArcNameExSize, unrar::utf8ToWide(a.volumePath()));
  if (d->FileNameEx && d->FileNameExSize > 0) copyField(d->FileNameEx, d->FileNameExSize, wideName);
}

}  // namespace

UNRAR_EXPORT HANDLE RAROpenArchiveEx(RAROpenArchiveDataEx* d) {
  if (!d) return nullptr;
  d->Flags = 0;
  d->CmtSize = d->CmtState = 0;
  std::string path = d->ArcNameW && *d->ArcNameW ? unrar::wideToUtf8(d->ArcNameW) : (d->ArcName ? d->ArcName : "");
  if (path.empty()) {
    d->OpenResult = ERAR_EOPEN;
    return nullptr;
  }
  auto* a = new (std::nothrow) Archive;
  if (!a) {
    d->OpenResult = ERAR_NO_MEMORY;
    return nullptr;
  }
  a->callbacks.callback = d->Callback;
  a->callbacks.userData = d->UserData;
  int r = a->open(path, d->OpenMode, d->OpFlags);
  d->Flags = a->flags();
  d->OpenResult = unsigned(r);
  if (r) {
    delete a;
    return nullptr;
  }
  fillComment(*a, d);
  return a;
}

UNRAR_EXPORT HANDLE RAROpenArchive(RAROpenArchiveData* d) {
  if (!d) return nullptr;
  RAROpenArchiveDataEx ex;
  memset(&ex, 0, sizeof ex);
  ex.ArcName = d->ArcName;
  ex.OpenMode = d->OpenMode;
  ex.CmtBuf = d->CmtBuf;
  ex.CmtBufSize = d->CmtBuf ? d->CmtBufSize : 0;
  HANDLE h = RAROpenArchiveEx(&ex);
  d->OpenResult = ex.OpenResult;
  d->CmtSize = ex.CmtSize;
  d->CmtState = ex.CmtState;
  return h;
}

UNRAR_EXPORT int RARCloseArchive(HANDLE h) {
  if (!h) return ERAR_ECLOSE;
  delete from(h);
  return ERAR_SUCCESS;
}

UNRAR_EXPORT int RARReadHeaderEx(HANDLE h, RARHeaderDataEx* d) {
  if (!h || !d) return ERAR_UNKNOWN;
  int r = from(h)->readHeader();
  if (r == 0) fillHeader(*from(h), d);
  return r;
}

UNRAR_EXPORT int RARReadHeader(HANDLE h, RARHeaderData* d) {
  if (!h || !d) return ERAR_UNKNOWN;
  static thread_local RARHeaderDataEx ex;
  memset(&ex, 0, sizeof ex);
  int r = RARReadHeaderEx(h, &ex);
  if (r) return r;
  copyField(d->ArcName, sizeof d->ArcName, ex.ArcName);
  copyField(d->FileName, sizeof d->FileName, ex.FileName);
  d->Flags = ex.Flags;
  d->PackSize = ex.PackSize;
  d->UnpSize = ex.UnpSize;
  d->HostOS = ex.HostOS;
  d->FileCRC = ex.FileCRC;
  d->FileTime = ex.FileTime;
  d->UnpVer = ex.UnpVer;
  d->Method = ex.Method;
  d->FileAttr = ex.FileAttr;
  d->CmtSize = d->CmtState = 0;
  return 0;
}

UNRAR_EXPORT int RARProcessFile(HANDLE h, int operation, char* destPath, char* destName) {
  if (!h) return ERAR_UNKNOWN;
  return from(h)->process(operation, destPath, destName);
}

UNRAR_EXPORT int RARProcessFileW(HANDLE h, int operation, wchar_t* destPath, wchar_t* destName) {
  if (!h) return ERAR_UNKNOWN;
  std::string path = unrar::wideToUtf8(destPath);
  std::string name = unrar::wideToUtf8(destName);
  return from(h)->process(operation, destPath ? path.c_str() : nullptr, destName ? name.c_str() : nullptr);
}

UNRAR_EXPORT void RARSetCallback(HANDLE h, UNRARCALLBACK callback, LPARAM userData) {
  if (!h) return;
  from(h)->callbacks.callback = callback;
  from(h)->callbacks.userData = userData;
}

UNRAR_EXPORT void RARSetChangeVolProc(HANDLE h, CHANGEVOLPROC proc) {
  if (h) from(h)->callbacks.changeVolProc = proc;
}

UNRAR_EXPORT void RARSetProcessDataProc(HANDLE h, PROCESSDATAPROC proc) {
  if (h) from(h)->callbacks.processDataProc = proc;
}

UNRAR_EXPORT void RARSetPassword(HANDLE h, char* password) {
  if (h) from(h)->setPassword(password);
}

UNRAR_EXPORT int RARGetDllVersion() { return RAR_DLL_VERSION; }
