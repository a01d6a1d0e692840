#pragma once
// The folder picker window the folder dialog component shows: a folder tree
// (with files when asked for), a caption above it, a status line, an optional
// edit box for a typed path, an optional "new folder" button of its own, OK
// and Cancel. It only reports what happens; the component decides what the
// status line says, when OK is enabled and what the initial selection is.
#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QHBoxLayout;

// Item attributes in the shell's bit layout, as handed to selection listeners.
constexpr uint32_t kAttrFolder = 0x20000000;
constexpr uint32_t kAttrFileSystem = 0x40000000;
constexpr uint32_t kAttrFileSystemAncestor = 0x10000000;

struct PickerItemInfo {
  QString path;     // file-system path; empty for a place without one
  QString display;  // the path, or the item's name when it has no path
  uint32_t attributes = 0;
  int specialFolder = -1;  // for places without a path: the number they stand for
};

struct PickerOptions {
  QString rootPath;  // empty: the whole file system plus the places without a path
  QString labelCaption;
  QString newFolderCaption;  // for the picker's own "new folder" button
  bool includeFiles = false;
  bool showStatus = false;
  bool editBox = false;
  bool validate = false;  // a typed path that names nothing fails validation
  bool newStyle = false;  // resizable, with the picker's own "new folder" button
  bool hideNewFolderButton = false;
};

class FolderPicker : public QDialog {
  Q_OBJECT
 public:
  FolderPicker(QWidget* parent, const PickerOptions& options);

  static PickerItemInfo ReadItem(const QTreeWidgetItem* item);

  // Selects the item for `path`, opening the tree down to it. When the path is
  // not in the tree the nearest listed ancestor is selected; when there is
  // none either, the home folder or else the first item. Returns true when the
  // path itself was found.
  bool SelectPath(const QString& path);
  // Selects the place without a path that stands for special folder `n`.
  bool SelectSpecialPlace(int n);

  void SetStatusText(const QString& text);
  void EnableOk(bool enabled);
  QTreeWidgetItem* CurrentItem() const;

  // Adds a push button at the left of the button row (the component's own).
  QPushButton* AddButton(const QString& text);
  QPushButton* OwnNewFolderButton() const { return ownNewFolder_; }

  // What was confirmed; valid after the dialog was accepted.
  const PickerItemInfo& Result() const { return result_; }

 signals:
  void initialized();                            // once, when first shown
  void selectionChanged(QTreeWidgetItem* item);  // after every change of the current item
  void validateFailed();                         // a typed path names nothing

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildTree();
  QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const QString& path, const QString& name, bool isDir);
  void Populate(QTreeWidgetItem* item);
  QTreeWidgetItem* FindOrAddChild(QTreeWidgetItem* parent, const QString& name);
  QTreeWidgetItem* FindTreePath(const QString& cleanPath, bool* exact);
  void OnCurrentChanged(QTreeWidgetItem* item);
  void OnOk();
  void MakeNewFolder();
  void FinishRename(QTreeWidgetItem* item);

  PickerOptions options_;
  QLabel* caption_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QLabel* status_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* ownNewFolder_ = nullptr;
  QHBoxLayout* buttonRow_ = nullptr;
  QTreeWidgetItem* renaming_ = nullptr;
  QString editShown_;  // what the edit box showed for the current item
  PickerItemInfo result_;
  bool initialized_ = false;
};
