#pragma once
// TVnFolderDialog: a reusable component that lets the user pick a folder in a
// modal folder picker and hands back its path in Folder. Around the picker it
// chooses the label and button captions by the system language, centres the
// picker, shows the selected path (shortened) in a status line, offers its own
// "New folder" button for the plain picker style, decides when OK is enabled,
// and can tell which special folder was chosen.
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "folderdialog/BrowseFlags.h"

class QPushButton;
class QTreeWidgetItem;
class QWidget;
class FolderPicker;

class TVnFolderDialog;
using PItemIDList = const QTreeWidgetItem*;  // the picker's item; valid only during the call
using TBrowserInitializedEvent = std::function<void(TVnFolderDialog* Sender, QWidget* DialogHandle)>;
using TSelectionChangedEvent = std::function<void(TVnFolderDialog* Sender, QWidget* DialogHandle,
                                                  PItemIDList ItemIDList, const QString& Folder, uint32_t Attr)>;
using TValidateFailedEvent = std::function<void(TVnFolderDialog* Sender, QWidget* DialogHandle)>;

class TVnFolderDialog : public QObject {
  Q_OBJECT
 public:
  explicit TVnFolderDialog(QObject* owner = nullptr);
  ~TVnFolderDialog() override;

  // Shows the picker modally. True when the user confirmed a choice: Folder is
  // then its path (empty for a place without one) and SpecialFolder the result
  // of the special-folder search. A cancelled run leaves Folder as it was when
  // the picker was last started and SpecialFolder unchanged.
  bool Execute();

  // Looks the captions up again from the current lists (after loading stored settings).
  void Loaded();

  bool ReturnSpecialFolder() const { return returnSpecialFolder_; }
  void SetReturnSpecialFolder(bool value) { returnSpecialFolder_ = value; }
  int SpecialFolder() const { return specialFolder_; }
  void SetSpecialFolder(int value) { specialFolder_ = value; }
  QString Folder() const { return folder_; }
  void SetFolder(const QString& value) { folder_ = value; }
  TBrowseInfoFlagSet Flags() const { return flags_; }
  void SetFlags(TBrowseInfoFlagSet value) { flags_ = value; }
  TSHFolders RootFolder() const { return rootFolder_; }
  void SetRootFolder(TSHFolders value) { rootFolder_ = value; }
  QStringList LabelCaptions() const { return labelCaptions_; }
  void SetLabelCaptions(const QStringList& value);
  QStringList NewFolderCaptions() const { return newFolderCaptions_; }
  void SetNewFolderCaptions(const QStringList& value);
  QStringList Titles() const { return titles_; }
  void SetTitles(const QStringList& value);
  QString Version() const { return QStringLiteral("8.00.00.00"); }
  void SetVersion(const QString&) {}  // read-only in effect

  TBrowserInitializedEvent OnInitialized;
  TSelectionChangedEvent OnSelectionChanged;
  TValidateFailedEvent OnValidateFailed;

  // The system language key ("0407") and the captions worked out for it.
  QString LanguageKey() const { return languageKey_; }
  QString LabelCaption() const { return labelCaption_; }
  QString NewFolderCaption() const { return newFolderCaption_; }
  // The open picker, while Execute runs.
  QWidget* DialogHandle() const;

 private:
  void OnPickerInitialized();
  void OnPickerSelectionChanged(QTreeWidgetItem* item);
  void OnPickerValidateFailed();
  void CreateNewFolderButton();
  void SizeNewFolderButton();
  void OnNewFolderButton();
  QWidget* OwnerWindow() const;

  bool returnSpecialFolder_ = false;
  int specialFolder_ = -1;
  QString folder_;
  TBrowseInfoFlagSet flags_ = kDefaultBrowseFlags;
  TSHFolders rootFolder_ = TSHFolders::foDesktopExpanded;
  QStringList labelCaptions_;
  QStringList newFolderCaptions_;
  QStringList titles_;

  QString languageKey_;
  QString labelCaption_;
  QString newFolderCaption_;
  QPointer<FolderPicker> picker_;
  QPointer<QPushButton> newFolderButton_;  // the component's own, plain style only
  QString currentPath_;
  QString pendingNewFolder_;
  bool reopen_ = false;
  bool pathFlag_ = true;
  bool newStyle_ = false;
};
