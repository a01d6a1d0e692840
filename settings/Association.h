#pragma once
// The .nfo association on the desktop, through GIO: the desktop entry
// lumeskar.desktop (the installed one, or a copy in the user's applications
// folder) and the user's default application for text/x-nfo (mimeapps.list).
//
// GIO reads the XDG folders once per process; set XDG_DATA_HOME and
// XDG_CONFIG_HOME before the first call if they are to be changed.
#include <string>

#include "platform/Result.h"

namespace settings {

// Makes lumeskar.desktop the default application for text/x-nfo, taking back
// an earlier removal. When the installed entry (in the system's data folders)
// starts `programPath`, that entry is named by its id and nothing is written
// into the user's applications folder (a copy this program wrote there
// earlier is removed). Otherwise, for a program run from its build folder or
// a portable installation, the user's copy of the entry is written for
// `programPath` (atomically), and update-desktop-database runs when it is
// installed. A failure carries the text for the error report; the steps
// after a failure are skipped.
platform::Result RegisterAssociation(const std::string& programPath);

// Takes the association back: Lumeskar stops being the default for
// text/x-nfo and is listed under "Removed Associations" for it; other
// applications' entries for the type are kept. A failure carries the error text.
platform::Result UnregisterAssociation();

// True when GIO reports lumeskar.desktop as the default application for
// text/x-nfo and the user's mimeapps.list names it as the default: an entry
// that is the default only because it is installed does not count.
bool AssociationIsOurs();

// Where the desktop entry and the association list are written.
std::string DesktopEntryPath();
std::string MimeAppsListPath();

}  // namespace settings
