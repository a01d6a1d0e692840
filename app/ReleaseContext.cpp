#include "app/ReleaseContext.h"

TForm1* Form1 = nullptr;
std::string sfvfile;
TSearchRec sfvsearch;
std::string cdsfv[7];
int cdcount = 0;
std::string checkfile;
uint32_t checkcrc = 0;
bool cancelcheck = false;
std::string checkresult;
std::string archivefile;
TSearchRec imagesearch;
std::string imagefile;

void ResetReleaseContext() {
  sfvfile.clear();
  sfvsearch = {};
  for (auto& s : cdsfv) s.clear();
  cdcount = 0;
  checkfile.clear();
  checkcrc = 0;
  cancelcheck = false;
  checkresult.clear();
  archivefile.clear();
  imagesearch = {};
  imagefile.clear();
}
