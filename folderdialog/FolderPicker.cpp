#include "folderdialog/FolderPicker.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "folderdialog/FolderNumbers.h"

namespace {

enum Role {
  kPathRole = Qt::UserRole,  // QString: file-system path, empty for a place
  kSpecialRole,              // int: special-folder number of a place
  kPopulatedRole,            // bool: children listed
  kIsDirRole,                // bool
};

QString ItemPath(const QTreeWidgetItem* item) { return item ? item->data(0, kPathRole).toString() : QString(); }

bool IsDir(const QTreeWidgetItem* item) { return item && item->data(0, kIsDirRole).toBool(); }

// True when `path` is `base` or lies below it.
bool IsUnder(const QString& path, const QString& base) {
  if (path == base) return true;
  const QString prefix = base.endsWith('/') ? base : base + '/';
  return path.startsWith(prefix);
}

}  // namespace

FolderPicker::FolderPicker(QWidget* parent, const PickerOptions& options) : QDialog(parent), options_(options) {
  setObjectName("folderPicker");
  setWindowTitle(tr("Browse for Folder"));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  caption_ = new QLabel(options_.labelCaption, this);
  caption_->setObjectName("labelCaption");
  caption_->setWordWrap(true);
  layout->addWidget(caption_);

  status_ = new QLabel(this);
  status_->setObjectName("statusText");
  status_->setTextFormat(Qt::PlainText);
  status_->setMinimumWidth(status_->fontMetrics().averageCharWidth() * 52);
  status_->setVisible(options_.showStatus);
  layout->addWidget(status_);

  tree_ = new QTreeWidget(this);
  tree_->setObjectName("folderTree");
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  layout->addWidget(tree_, 1);

  if (options_.editBox) {
    edit_ = new QLineEdit(this);
    edit_->setObjectName("editBox");
    layout->addWidget(edit_);
  }

  buttonRow_ = new QHBoxLayout;
  if (options_.newStyle && !options_.hideNewFolderButton) {
    ownNewFolder_ = new QPushButton(options_.newFolderCaption, this);
    ownNewFolder_->setObjectName("pickerNewFolderButton");
    ownNewFolder_->setAutoDefault(false);
    connect(ownNewFolder_, &QPushButton::clicked, this, &FolderPicker::MakeNewFolder);
    buttonRow_->addWidget(ownNewFolder_);
  }
  buttonRow_->addStretch(1);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = box->button(QDialogButtonBox::Ok);
  ok_->setObjectName("okButton");
  ok_->setDefault(true);
  box->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  connect(box, &QDialogButtonBox::accepted, this, &FolderPicker::OnOk);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  buttonRow_->addWidget(box);
  layout->addLayout(buttonRow_);

  connect(tree_, &QTreeWidget::itemExpanded, this, &FolderPicker::Populate);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentChanged(current); });
  connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    if (item == renaming_) FinishRename(item);
  });

  BuildTree();
  if (options_.newStyle) {
    resize(420, 460);
  } else {
    setFixedSize(sizeHint().expandedTo(QSize(340, 400)));
  }
}

void FolderPicker::BuildTree() {
  if (!options_.rootPath.isEmpty()) {
    const QString root = QDir::cleanPath(options_.rootPath);
    const QString name = root == "/" ? QStringLiteral("/") : QFileInfo(root).fileName();
    QTreeWidgetItem* item = AddFolderItem(nullptr, root, name, true);
    item->setExpanded(true);
    return;
  }
  // The whole file system, opened down to the home folder, and the network
  // place, which has no folder of its own.
  AddFolderItem(nullptr, "/", "/", true)->setExpanded(true);
  auto* network = new QTreeWidgetItem(tree_, QStringList(tr("Network")));
  network->setData(0, kSpecialRole, kSpecialNetwork);
  network->setData(0, kPopulatedRole, true);
  const QString home = QDir::homePath();
  bool exact = false;
  if (QTreeWidgetItem* item = FindTreePath(QDir::cleanPath(home), &exact)) {
    for (QTreeWidgetItem* up = item; up; up = up->parent()) up->setExpanded(true);
  }
}

QTreeWidgetItem* FolderPicker::AddFolderItem(QTreeWidgetItem* parent, const QString& path, const QString& name,
                                             bool isDir) {
  auto* item = parent ? new QTreeWidgetItem(parent, QStringList(name)) : new QTreeWidgetItem(tree_, QStringList(name));
  item->setData(0, kPathRole, path);
  item->setData(0, kIsDirRole, isDir);
  item->setData(0, kPopulatedRole, !isDir);
  item->setChildIndicatorPolicy(isDir ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
  return item;
}

void FolderPicker::Populate(QTreeWidgetItem* item) {
  if (!item || item->data(0, kPopulatedRole).toBool()) return;
  item->setData(0, kPopulatedRole, true);
  QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
  if (options_.includeFiles) filters |= QDir::Files;
  const QDir dir(ItemPath(item));
  const QFileInfoList entries = dir.entryInfoList(filters, QDir::Name | QDir::IgnoreCase | QDir::DirsFirst);
  for (const QFileInfo& entry : entries) AddFolderItem(item, entry.filePath(), entry.fileName(), entry.isDir());
  if (item->childCount() == 0) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QTreeWidgetItem* FolderPicker::FindOrAddChild(QTreeWidgetItem* parent, const QString& name) {
  Populate(parent);
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i)->text(0) == name) return parent->child(i);
  }
  // Hidden entries are not listed but can still be reached by their path.
  const QString parentPath = ItemPath(parent);
  const QFileInfo info(parentPath.endsWith('/') ? parentPath + name : parentPath + '/' + name);
  if (!info.exists() || (!info.isDir() && !options_.includeFiles)) return nullptr;
  parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return AddFolderItem(parent, info.filePath(), name, info.isDir());
}

QTreeWidgetItem* FolderPicker::FindTreePath(const QString& cleanPath, bool* exact) {
  *exact = false;
  QTreeWidgetItem* item = nullptr;
  for (int i = 0; i < tree_->topLevelItemCount() && !item; ++i) {
    QTreeWidgetItem* top = tree_->topLevelItem(i);
    if (IsDir(top) && IsUnder(cleanPath, ItemPath(top))) item = top;
  }
  if (!item) return nullptr;
  const QString base = ItemPath(item);
  const QStringList parts = cleanPath.mid(base.size()).split('/', Qt::SkipEmptyParts);
  for (const QString& part : parts) {
    QTreeWidgetItem* child = IsDir(item) ? FindOrAddChild(item, part) : nullptr;
    if (!child) return item;
    item = child;
  }
  *exact = true;
  return item;
}

bool FolderPicker::SelectPath(const QString& path) {
  bool exact = false;
  QTreeWidgetItem* item = path.isEmpty() ? nullptr : FindTreePath(QDir::cleanPath(path), &exact);
  if (!item) {
    bool homeExact = false;
    item = FindTreePath(QDir::cleanPath(QDir::homePath()), &homeExact);
    if (!homeExact) item = tree_->topLevelItem(0);
  }
  if (item) {
    for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) up->setExpanded(true);
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
  }
  return exact;
}

bool FolderPicker::SelectSpecialPlace(int n) {
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = tree_->topLevelItem(i);
    if (ItemPath(top).isEmpty() && top->data(0, kSpecialRole).toInt() == n) {
      tree_->setCurrentItem(top);
      return true;
    }
  }
  return false;
}

PickerItemInfo FolderPicker::ReadItem(const QTreeWidgetItem* item) {
  PickerItemInfo info;
  if (!item) return info;
  info.path = ItemPath(item);
  info.display = info.path.isEmpty() ? item->text(0) : info.path;
  if (info.path.isEmpty()) {
    info.attributes = kAttrFolder;
    info.specialFolder = item->data(0, kSpecialRole).toInt();
  } else if (IsDir(item)) {
    info.attributes = kAttrFolder | kAttrFileSystem | kAttrFileSystemAncestor;
  } else {
    info.attributes = kAttrFileSystem;
  }
  return info;
}

void FolderPicker::SetStatusText(const QString& text) { status_->setText(text); }

void FolderPicker::EnableOk(bool enabled) { ok_->setEnabled(enabled); }

QTreeWidgetItem* FolderPicker::CurrentItem() const { return tree_->currentItem(); }

QPushButton* FolderPicker::AddButton(const QString& text) {
  auto* button = new QPushButton(text, this);
  button->setAutoDefault(false);
  buttonRow_->insertWidget(0, button);
  return button;
}

void FolderPicker::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!initialized_) {
    initialized_ = true;
    emit initialized();
  }
}

void FolderPicker::OnCurrentChanged(QTreeWidgetItem* item) {
  if (!item) return;
  if (edit_) {
    editShown_ = item->text(0);
    edit_->setText(editShown_);
  }
  if (ownNewFolder_) ownNewFolder_->setEnabled(IsDir(item) && !ItemPath(item).isEmpty());
  emit selectionChanged(item);
}

void FolderPicker::OnOk() {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!ok_->isEnabled()) return;
  result_ = ReadItem(item);
  if (edit_ && edit_->text() != editShown_) {
    // A typed path: absolute, or relative to the selected folder.
    const QString typed = edit_->text();
    const QString base = IsDir(item) ? ItemPath(item) : QFileInfo(ItemPath(item)).path();
    const QString candidate = QDir::cleanPath(typed.startsWith('/') || base.isEmpty() ? typed : base + '/' + typed);
    const QFileInfo info(candidate);
    if (!typed.isEmpty() && candidate.startsWith('/') && info.exists() && (info.isDir() || options_.includeFiles)) {
      result_ =
          PickerItemInfo{candidate, candidate,
                         info.isDir() ? kAttrFolder | kAttrFileSystem | kAttrFileSystemAncestor : kAttrFileSystem, -1};
    } else if (options_.validate) {
      emit validateFailed();
      reject();  // a failed validation closes the picker without a choice
      return;
    }
  }
  if (!item && result_.path.isEmpty()) return;
  accept();
}

void FolderPicker::MakeNewFolder() {
  QTreeWidgetItem* parent = tree_->currentItem();
  if (!IsDir(parent) || ItemPath(parent).isEmpty()) return;
  Populate(parent);
  const QDir dir(ItemPath(parent));
  const QString base = options_.newFolderCaption.isEmpty() ? tr("New folder") : options_.newFolderCaption;
  QString name = base;
  for (int n = 2; dir.exists(name) && n < 10000; ++n) name = QStringLiteral("%1 (%2)").arg(base).arg(n);
  if (dir.exists(name) || !dir.mkdir(name)) {
    QApplication::beep();
    return;
  }
  QTreeWidgetItem* item = AddFolderItem(parent, dir.filePath(name), name, true);
  parent->setExpanded(true);
  tree_->setCurrentItem(item);
  tree_->scrollToItem(item);
  // Let the user name the new folder in place; the folder is renamed when the edit ends.
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  renaming_ = item;
  tree_->editItem(item);
}

void FolderPicker::FinishRename(QTreeWidgetItem* item) {
  renaming_ = nullptr;
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  const QString oldPath = ItemPath(item);
  const QFileInfo oldInfo(oldPath);
  const QString newName = item->text(0);
  const QString newPath = oldInfo.dir().filePath(newName);
  if (newName == oldInfo.fileName()) return;
  const bool valid =
      !newName.isEmpty() && !newName.contains('/') && newName != "." && newName != ".." && !QFileInfo::exists(newPath);
  if (!valid || !QDir().rename(oldPath, newPath)) {
    QApplication::beep();
    QSignalBlocker block(tree_);
    item->setText(0, oldInfo.fileName());
    return;
  }
  item->setData(0, kPathRole, newPath);
  OnCurrentChanged(item);
}
