// Start-up steps of the settings: apply the settings file to the option
// controls, and check the association box when the desktop names us the
// default .nfo viewer.
#include <QSignalBlocker>

#include "app/Dialogs.h"
#include "app/Unit1.h"
#include "app/WindowOptionsPanel.h"
#include "platform/ProgramDir.h"
#include "settings/Association.h"
#include "settings/SettingsLoadSave.h"
#include "settings/SettingsLocation.h"

bool TForm1::LoadSettings() {
  WindowOptionsPanel panel(*this);
  const platform::Result done = settings::LoadSettings(panel, settings::ProfileFile(settings::SettingsPath()));
  if (!done) ReportError(FromLocal(done.message()));
  return done.ok();
}

bool TForm1::ProbeAssociation() {
  if (assocfiles->isChecked() || !settings::AssociationIsOurs()) return true;
  {
    const QSignalBlocker hold(assocfiles);
    assocfiles->setChecked(true);
  }
  // Checking the box registers again, with the program's current path.
  const platform::Result done = settings::RegisterAssociation(platform::ProgramPath());
  if (done) return true;
  ReportError(FromLocal(done.message()));
  return false;
}
