#include "settings/Association.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/Folders.h"
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

// The entry in the file at `path`, loaded straight from it so that a file
// written a moment ago is seen even if GIO's folder index has not caught up
// yet. Nothing when GIO refuses it (its program does not exist) or does not
// know it by our desktop id.
AppInfoPtr AppFromFile(const std::string& path) {
  GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.c_str());
  AppInfoPtr app(reinterpret_cast<GAppInfo*>(info));
  // Without its desktop id GIO would save a copy under a made-up name.
  if (app && g_strcmp0(g_app_info_get_id(app.get()), kDesktopId) != 0) app.reset();
  return app;
}

// The installed lumeskar.desktop (a package's, in the system's data folders,
// the one GIO takes when the user has no copy); "" when there is none.
std::string SystemDesktopEntryPath() {
  for (const gchar* const* dir = g_get_system_data_dirs(); dir && *dir; ++dir) {
    const std::string path = std::string(*dir) + "/applications/" + kDesktopId;
    if (g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) return path;
  }
  return "";
}

// The program an entry's Exec line starts: its first word, unquoted, with
// "%%" read as '%' (GIO's own executable keeps the quotes).
std::string ExecProgram(GAppInfo* app) {
  gchar* exec = g_desktop_app_info_get_string(reinterpret_cast<GDesktopAppInfo*>(app), "Exec");
  gchar** argv = nullptr;
  std::string program;
  if (exec && g_shell_parse_argv(exec, nullptr, &argv, nullptr)) program = argv[0];
  g_strfreev(argv);
  g_free(exec);
  for (size_t at = program.find("%%"); at != std::string::npos; at = program.find("%%", at + 1)) program.erase(at, 1);
  return program;
}

// True when `app` starts the program at `programPath`: its program, looked up
// on the PATH when it names no folder, is the same file.
bool Starts(GAppInfo* app, const std::string& programPath) {
  const std::string program = ExecProgram(app);
  gchar* found = program.empty() ? nullptr : g_find_program_in_path(program.c_str());
  struct stat a, b;
  const bool same = found && ::stat(found, &a) == 0 && ::stat(programPath.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
                    a.st_ino == b.st_ino;
  g_free(found);
  return same;
}

// Our entry: the user's copy when there is one, else the installed entry.
AppInfoPtr OurApp() {
  if (g_file_test(DesktopEntryPath().c_str(), G_FILE_TEST_EXISTS)) return AppFromFile(DesktopEntryPath());
  const std::string installed = SystemDesktopEntryPath();
  return installed.empty() ? nullptr : AppFromFile(installed);
}

// Removes the user's copy when it is exactly the entry this program writes
// for itself: one that an earlier association wrote, which would hide the
// installed entry and outlive the package. A copy the user changed stays.
void RemoveOwnCopy(const std::string& programPath) {
  const auto ours = DesktopEntryText(programPath);
  gchar* text = nullptr;
  gsize length = 0;
  if (ours && g_file_get_contents(DesktopEntryPath().c_str(), &text, &length, nullptr) &&
      std::string_view(text, length) == *ours)
    ::unlink(DesktopEntryPath().c_str());
  g_free(text);
}

// Makes `app` the default for text/x-nfo; setting the default also takes back
// an earlier removal, and adding the type lists us among the applications
// for it again.
bool MakeDefault(GAppInfo* app) {
  return g_app_info_set_as_default_for_type(app, kNfoContentType, nullptr) != FALSE &&
         g_app_info_add_supports_type(app, kNfoContentType, nullptr) != FALSE;
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
  // Installed from a package: the association names the package's entry by
  // its id, and nothing is copied into the user's folders, so nothing there
  // points at the program once the package is removed.
  const std::string installed = SystemDesktopEntryPath();
  if (AppInfoPtr app = installed.empty() ? nullptr : AppFromFile(installed); app && Starts(app.get(), programPath)) {
    RemoveOwnCopy(programPath);
    if (!MakeDefault(app.get())) return platform::Result::Failed(UnableToWriteText(MimeAppsListPath()));
    return platform::Result::Ok();
  }

  // A program run from its build folder or a portable installation: the
  // user's own copy of the entry, naming this program.
  const auto entry = DesktopEntryText(programPath);
  if (!entry) return platform::Result::Failed("Cannot register " + programPath + " as the .nfo viewer");
  const std::string path = DesktopEntryPath();
  if (!platform::CreateFolders(ApplicationsFolder(), kNewFolderMode) || !ReplaceFileAtomically(path, *entry))
    return platform::Result::Failed(UnableToWriteText(path));

  AppInfoPtr app = AppFromFile(path);
  if (!app) return platform::Result::Failed("The desktop refused " + path);
  if (!MakeDefault(app.get())) return platform::Result::Failed(UnableToWriteText(MimeAppsListPath()));
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
  // GIO also falls back to an installed entry nobody chose, such as the one a
  // package puts in /usr/share/applications: only the user's own choice of
  // the default counts, or every start would write the association unasked.
  // That choice is read first: it is one small file, where asking GIO for
  // the default reads every desktop entry on the system (a fifth of the
  // program's start-up), and without the choice the answer is no.
  const auto defaults = ListedFor(LoadMimeAppsList().get(), "Default Applications");
  if (std::find(defaults.begin(), defaults.end(), kDesktopId) == defaults.end()) return false;
  AppInfoPtr app(g_app_info_get_default_for_type(kNfoContentType, FALSE));
  return app && g_strcmp0(g_app_info_get_id(app.get()), kDesktopId) == 0;
}

}  // namespace settings
