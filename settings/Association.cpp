#include "settings/Association.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "settings/DesktopEntry.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsKeys.h"

namespace settings {

namespace {

template <typename T>
struct GObjectUnref {
  void operator()(T* p) const { g_object_unref(p); }
};
using AppInfoPtr = std::unique_ptr<GAppInfo, GObjectUnref<GAppInfo>>;

struct KeyFileFree {
  void operator()(GKeyFile* k) const { g_key_file_free(k); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

std::string ApplicationsFolder() { return std::string(g_get_user_data_dir()) + "/applications"; }

AppInfoPtr AppById(const std::string& id) {
  return AppInfoPtr(reinterpret_cast<GAppInfo*>(g_desktop_app_info_new(id.c_str())));
}

// Our entry, loaded straight from its file so that a file written a moment
// ago is seen even if GIO's folder index has not caught up yet.
AppInfoPtr OurApp() {
  GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(DesktopEntryPath().c_str());
  AppInfoPtr app(reinterpret_cast<GAppInfo*>(info));
  // Without its desktop id GIO would save a copy under a made-up name.
  if (app && g_strcmp0(g_app_info_get_id(app.get()), kDesktopId) != 0) app.reset();
  return app;
}

// The user's mimeapps.list; empty when there is none.
KeyFilePtr LoadMimeAppsList() {
  KeyFilePtr list(g_key_file_new());
  g_key_file_load_from_file(list.get(), MimeAppsListPath().c_str(), G_KEY_FILE_NONE, nullptr);
  return list;
}

// The entries that the user's mimeapps.list lists for the type in `group`.
std::vector<std::string> ListedFor(GKeyFile* list, const char* group) {
  std::vector<std::string> ids;
  gchar** entries = g_key_file_get_string_list(list, group, kNfoContentType, nullptr, nullptr);
  for (gchar** e = entries; e && *e; ++e)
    if (**e) ids.emplace_back(*e);
  g_strfreev(entries);
  return ids;
}

void RunUpdateDesktopDatabase(const std::string& folder) {
  gchar* program = g_find_program_in_path("update-desktop-database");
  if (!program) return;
  const gchar* argv[] = {program, "-q", folder.c_str(), nullptr};
  // Only a notification for menus and caches: its outcome is not ours to report.
  g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
               static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr, nullptr,
               nullptr, nullptr, nullptr, nullptr);
  g_free(program);
}

// GIO's own error texts name temporary files; the report names the list.
bool Succeeded(gboolean ok) { return ok != FALSE; }

}  // namespace

std::string DesktopEntryPath() { return ApplicationsFolder() + "/" + kDesktopId; }

std::string MimeAppsListPath() { return std::string(g_get_user_config_dir()) + "/mimeapps.list"; }

platform::Result RegisterAssociation(const std::string& programPath) {
  const auto entry = DesktopEntryText(programPath);
  if (!entry) return platform::Result::Failed("Cannot register " + programPath + " as the .nfo viewer");
  const std::string path = DesktopEntryPath();
  if (!CreateFolders(ApplicationsFolder()) || !ReplaceFileAtomically(path, *entry))
    return platform::Result::Failed(UnableToWriteText(path));

  AppInfoPtr app = OurApp();
  if (!app) return platform::Result::Failed("The desktop refused " + path);
  // Setting the default also takes back an earlier removal; adding the type
  // lists us among the applications for it again.
  if (!Succeeded(g_app_info_set_as_default_for_type(app.get(), kNfoContentType, nullptr)) ||
      !Succeeded(g_app_info_add_supports_type(app.get(), kNfoContentType, nullptr)))
    return platform::Result::Failed(UnableToWriteText(MimeAppsListPath()));
  RunUpdateDesktopDatabase(ApplicationsFolder());
  return platform::Result::Ok();
}

platform::Result UnregisterAssociation() {
  const KeyFilePtr list = LoadMimeAppsList();
  const auto defaults = ListedFor(list.get(), "Default Applications");
  bool ourDefault = false;
  for (const auto& id : defaults) ourDefault = ourDefault || id == kDesktopId;

  if (ourDefault) {
    // GIO drops a default only together with everything the user listed for
    // the type, so the other applications' entries are put back afterwards.
    const auto added = ListedFor(list.get(), "Added Associations");
    const auto removed = ListedFor(list.get(), "Removed Associations");
    g_app_info_reset_type_associations(kNfoContentType);
    bool ok = true;
    for (const auto& id : added) {
      if (id == kDesktopId) continue;
      if (AppInfoPtr other = AppById(id))
        ok = Succeeded(g_app_info_add_supports_type(other.get(), kNfoContentType, nullptr)) && ok;
    }
    for (auto it = defaults.rbegin(); it != defaults.rend(); ++it) {
      if (*it == kDesktopId) continue;
      if (AppInfoPtr other = AppById(*it))
        ok = Succeeded(g_app_info_set_as_default_for_type(other.get(), kNfoContentType, nullptr)) && ok;
    }
    for (const auto& id : removed) {
      if (id == kDesktopId) continue;
      if (AppInfoPtr other = AppById(id))
        ok = Succeeded(g_app_info_remove_supports_type(other.get(), kNfoContentType, nullptr)) && ok;
    }
    if (!ok) return platform::Result::Failed(UnableToWriteText(MimeAppsListPath()));
  }

  if (AppInfoPtr app = OurApp()) {
    if (!Succeeded(g_app_info_remove_supports_type(app.get(), kNfoContentType, nullptr)))
      return platform::Result::Failed(UnableToWriteText(MimeAppsListPath()));
  }
  return platform::Result::Ok();
}

bool AssociationIsOurs() {
  AppInfoPtr app(g_app_info_get_default_for_type(kNfoContentType, FALSE));
  if (!app || g_strcmp0(g_app_info_get_id(app.get()), kDesktopId) != 0) return false;
  // GIO also falls back to an installed entry nobody chose, such as the one a
  // package puts in /usr/share/applications: only the user's own choice of
  // the default counts, or every start would write the association unasked.
  const auto defaults = ListedFor(LoadMimeAppsList().get(), "Default Applications");
  return std::find(defaults.begin(), defaults.end(), kDesktopId) != defaults.end();
}

}  // namespace settings
