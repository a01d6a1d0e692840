// Start-up: everything that happens before the window is first shown, in a
// fixed order: plug-in folder and button, settings, association state, the
// .nfo text, the release's SFV file or disc folders, and the origin site.
#include <optional>

#include "app/Dialogs.h"
#include "app/TerminalLabel.h"
#include "app/Unit1.h"
#include "nfo/Cp437.h"
#include "nfo/NfoText.h"
#include "platform/DirSearch.h"
#include "platform/FileRead.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/ProgramDir.h"
#include "release/OriginSite.h"
#include "release/ReleaseDiscovery.h"
#include "release/RepairRun.h"
#include "release/SfvEntries.h"
#include "settings/SettingsLocation.h"

namespace {

QString Cp437Text(std::string_view bytes) { return QString::fromStdU16String(Cp437Decode(bytes)); }

void ReportCannotOpen(const std::string& path) {
  ReportError(QStringLiteral("Cannot open file %1").arg(FromLocal(path)));
}

}  // namespace

void TForm1::FormCreate(const QString& argument) {
  context.cdcount = 0;

  // The plug-in folder; failing to create it does not matter.
  static_cast<void>(platform::CreateFolders(settings::PluginsFolder()));
  const std::string programDir = platform::ProgramDir();

  if (platform::FileExists(programDir + "PluginManager")) pluginbutton->show();

  if (!LoadSettings()) return;
  if (!ProbeAssociation()) return;

  if (argument.isEmpty()) return;
  const std::string path = ToLocal(argument);

  edit->clear();
  platform::Expected<std::string> bytes = platform::ReadWholeFile(path);
  if (!bytes) {
    ReportCannotOpen(path);
    return;
  }
  std::u16string text = NfoViewText(*bytes);
  std::string().swap(*bytes);  // the file's bytes are not needed any more
  edit->setNfoText(std::move(text));

  DiscoverRelease(platform::FolderOf(path));
}

void TForm1::DiscoverRelease(const std::string& folder) {
  release::Discovery found;
  found.searchName = context.sfvsearch.Name;
  release::DiscoverRelease(folder, found);
  context.sfvsearch.Name = found.searchName;
  for (int n = 1; n <= 6; ++n) context.cdsfv[n] = found.cdsfv[n];
  context.par2file = release::FindPar2File(folder);

  if (!found.sfvfile.empty()) {
    context.sfvfile = found.sfvfile;
    const platform::Expected<std::string> text = platform::ReadWholeFile(context.sfvfile);
    if (!text) {
      ReportCannotOpen(context.sfvfile);
      return;
    }
    sfvmemo = release::NormalizeLineBreaks(*text);
    sfvfilelab->setText(QStringLiteral("Click here to SFV check this release"));
  } else if (found.cdcount != 0) {
    context.cdcount = found.cdcount;
    sfvfilelab->setText(QString::fromStdString(release::DiscStatusText(context.cdcount)));
  } else if (!context.par2file.empty()) {
    sfvfilelab->setText(QString::fromLatin1(release::kStatusPar2Ready));
  }

  if (std::optional<std::string> site = release::OriginSite(sfvmemo)) {
    // The label is one line high: only the taken text's first line shows.
    fromsite->setText(Cp437Text(release::FirstLine(*site)));
    fromsite->resize(TerminalTextWidth(fromsite->text()), 8);
  }
}
