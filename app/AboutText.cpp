#include "app/AboutText.h"

#include "platform/Version.h"

const char* AboutText() {
  return "Lumeskar " LUMESKAR_VERSION
         " - written by the Lumeskar developers for everyone who still reads the .nfo\n"
         "\n"
         "This version brings us:\n"
         "* Now extracts releases without the need for WinRAR\n"
         "* You can now execute a command after the files extraction\n"
         "* Possible to use %F variable to pass the extracted file name\n"
         "* Selectable BIN / CUE useage\n"
         "* Force extraction without SFV check\n"
         "* Prompt for location feature\n"
         "* Word Wrap / Always on Top options\n"
         "* Clickable URL's and Email addresses with changing icon to a hand\n"
         "\n"
         "The 'originated from site' option will only work if zipscript runs on the FTP server\n"
         "\n"
         "Contact: developers@lumeskar.example\n"
         "Web: http://www.lumeskar.example/";
}
