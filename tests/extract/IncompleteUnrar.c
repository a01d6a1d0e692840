/* A library that exports six of the seven UnRAR functions the extractor
 * needs (RARSetPassword is missing), to show that it is refused as a whole. */
#include "unrar/unrar.h"

#include <stddef.h>

HANDLE PASCAL RAROpenArchive(struct RAROpenArchiveData *d) {
  d->OpenResult = ERAR_EOPEN;
  return NULL;
}
int PASCAL RARCloseArchive(HANDLE h) {
  (void)h;
  return 0;
}
int PASCAL RARReadHeader(HANDLE h, struct RARHeaderData *d) {
  (void)h;
  (void)d;
  return ERAR_END_ARCHIVE;
}
int PASCAL RARProcessFile(HANDLE h, int op, char *path, char *name) {
  (void)h;
  (void)op;
  (void)path;
  (void)name;
  return 0;
}
void PASCAL RARSetChangeVolProc(HANDLE h, CHANGEVOLPROC p) {
  (void)h;
  (void)p;
}
void PASCAL RARSetProcessDataProc(HANDLE h, PROCESSDATAPROC p) {
  (void)h;
  (void)p;
}
