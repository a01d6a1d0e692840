/*
 * unrar.h - the UnRAR C API as exported by libunrar.so.
 *
 * Record layouts, constants, error codes and callback conventions follow the
 * published UnRAR library interface, so a program written against it can use
 * this library or the original one interchangeably. Usable from C and C++.
 * Records are packed (no padding) exactly as the published interface lays
 * them out; on x86-64: RARHeaderData 576 bytes, RARHeaderDataEx 14340,
 * RAROpenArchiveData 36, RAROpenArchiveDataEx 176.
 */
#ifndef LUMESKAR_UNRAR_H
#define LUMESKAR_UNRAR_H

#include <wchar.h>

/* The Unix spellings of the Windows types the interface is written in.
 * A program that already has its own definitions defines
 * LUMESKAR_UNRAR_HAVE_WINTYPES before including this header. */
#ifndef LUMESKAR_UNRAR_HAVE_WINTYPES
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef PASCAL
#define PASCAL
#endif
typedef long LONG;
typedef void *HANDLE;
typedef long LPARAM;
typedef unsigned int UINT;
#endif

#define ERAR_SUCCESS 0
#define ERAR_END_ARCHIVE 10
#define ERAR_NO_MEMORY 11
#define ERAR_BAD_DATA 12
#define ERAR_BAD_ARCHIVE 13
#define ERAR_UNKNOWN_FORMAT 14
#define ERAR_EOPEN 15
#define ERAR_ECREATE 16
#define ERAR_ECLOSE 17
#define ERAR_EREAD 18
#define ERAR_EWRITE 19
#define ERAR_SMALL_BUF 20
#define ERAR_UNKNOWN 21
#define ERAR_MISSING_PASSWORD 22
#define ERAR_EREFERENCE 23
#define ERAR_BAD_PASSWORD 24
#define ERAR_LARGE_DICT 25

#define RAR_OM_LIST 0
#define RAR_OM_EXTRACT 1
#define RAR_OM_LIST_INCSPLIT 2

#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

#define RAR_VOL_ASK 0
#define RAR_VOL_NOTIFY 1

/* The version of this interface, as RARGetDllVersion() reports it. */
#define RAR_DLL_VERSION 9

#define RAR_HASH_NONE 0
#define RAR_HASH_CRC32 1
#define RAR_HASH_BLAKE2 2

/* RARHeaderData[Ex].Flags */
#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER 0x02
#define RHDF_ENCRYPTED 0x04
#define RHDF_SOLID 0x10
#define RHDF_DIRECTORY 0x20

/* RAROpenArchiveDataEx.Flags */
#define ROADF_VOLUME 0x0001
#define ROADF_COMMENT 0x0002
#define ROADF_LOCK 0x0004
#define ROADF_SOLID 0x0008
#define ROADF_NEWNUMBERING 0x0010
#define ROADF_SIGNED 0x0020
#define ROADF_RECOVERY 0x0040
#define ROADF_ENCHEADERS 0x0080
#define ROADF_FIRSTVOLUME 0x0100

/* RAROpenArchiveDataEx.OpFlags */
#define ROADOF_KEEPBROKEN 0x0001
#define ROADOF_SHARED 0x0002

/* RARHeaderDataEx.RedirType */
#define FSREDIR_NONE 0
#define FSREDIR_UNIXSYMLINK 1
#define FSREDIR_WINSYMLINK 2
#define FSREDIR_JUNCTION 3
#define FSREDIR_HARDLINK 4
#define FSREDIR_FILECOPY 5

enum UNRARCALLBACK_MESSAGES {
  UCM_CHANGEVOLUME,
  UCM_PROCESSDATA,
  UCM_NEEDPASSWORD,
  UCM_CHANGEVOLUMEW,
  UCM_NEEDPASSWORDW,
  UCM_LARGEDICT
};

typedef int(CALLBACK *UNRARCALLBACK)(UINT msg, LPARAM UserData, LPARAM P1, LPARAM P2);
typedef int(PASCAL *CHANGEVOLPROC)(char *ArcName, int Mode);
typedef int(PASCAL *PROCESSDATAPROC)(unsigned char *Addr, int Size);

#pragma pack(push, 1)

struct RARHeaderData {
  char ArcName[260];
  char FileName[260];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int UnpSize;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char *CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

struct RARHeaderDataEx {
  char ArcName[1024];
  wchar_t ArcNameW[1024];
  char FileName[1024];
  wchar_t FileNameW[1024];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int PackSizeHigh;
  unsigned int UnpSize;
  unsigned int UnpSizeHigh;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char *CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int DictSize; /* KiB */
  unsigned int HashType;
  char Hash[32];
  unsigned int RedirType;
  wchar_t *RedirName;
  unsigned int RedirNameSize;
  unsigned int DirTarget;
  unsigned int MtimeLow; /* FILETIME (100 ns since 1601), UTC */
  unsigned int MtimeHigh;
  unsigned int CtimeLow;
  unsigned int CtimeHigh;
  unsigned int AtimeLow;
  unsigned int AtimeHigh;
  wchar_t *ArcNameEx;
  unsigned int ArcNameExSize;
  wchar_t *FileNameEx;
  unsigned int FileNameExSize;
  unsigned int Reserved[982];
};

struct RAROpenArchiveData {
  char *ArcName;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char *CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

struct RAROpenArchiveDataEx {
  char *ArcName;
  wchar_t *ArcNameW;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char *CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int Flags;
  UNRARCALLBACK Callback;
  LPARAM UserData;
  unsigned int OpFlags;
  wchar_t *CmtBufW;
  wchar_t *MarkOfTheWeb;
  unsigned int Reserved[23];
};

#pragma pack(pop)

#ifdef __cplusplus
extern "C" {
#endif

HANDLE PASCAL RAROpenArchive(struct RAROpenArchiveData *ArchiveData);
HANDLE PASCAL RAROpenArchiveEx(struct RAROpenArchiveDataEx *ArchiveData);
int PASCAL RARCloseArchive(HANDLE hArcData);
int PASCAL RARReadHeader(HANDLE hArcData, struct RARHeaderData *HeaderData);
int PASCAL RARReadHeaderEx(HANDLE hArcData, struct RARHeaderDataEx *HeaderData);
int PASCAL RARProcessFile(HANDLE hArcData, int Operation, char *DestPath, char *DestName);
int PASCAL RARProcessFileW(HANDLE hArcData, int Operation, wchar_t *DestPath, wchar_t *DestName);
void PASCAL RARSetCallback(HANDLE hArcData, UNRARCALLBACK Callback, LPARAM UserData);
void PASCAL RARSetChangeVolProc(HANDLE hArcData, CHANGEVOLPROC ChangeVolProc);
void PASCAL RARSetProcessDataProc(HANDLE hArcData, PROCESSDATAPROC ProcessDataProc);
void PASCAL RARSetPassword(HANDLE hArcData, char *Password);
int PASCAL RARGetDllVersion(void);

#ifdef __cplusplus
}
#endif

#endif
