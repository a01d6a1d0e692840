#include "folderdialog/VnFolderDialog.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidgetItem>

#include "folderdialog/CaptionLists.h"
#include "folderdialog/FolderCreation.h"
#include "folderdialog/FolderNumbers.h"
#include "folderdialog/FolderPicker.h"
#include "folderdialog/PathShortening.h"
#include "platform/LanguageId.h"

namespace {

constexpr int kStatusLimit = 50;

// The system's wording for "cannot make" (error 82).
const char* const kCannotMakeText = "The directory or file cannot be created.";

QStringList ToQt(const CaptionList& lines) {
  QStringList out;
  for (const std::string& line : lines) out << QString::fromStdString(line);
  return out;
}

QString Lookup(const QStringList& lines, const QString& key) {
  CaptionList plain;
  for (const QString& line : lines) plain.push_back(line.toStdString());
  return QString::fromStdString(LookupCaption(plain, key.toStdString()));
}

}  // namespace

TVnFolderDialog::TVnFolderDialog(QObject* owner)
    : QObject(owner),
      labelCaptions_(ToQt(BuiltInLabelCaptions())),
      newFolderCaptions_(ToQt(BuiltInNewFolderCaptions())),
      languageKey_(QString::fromStdString(platform::LanguageKey(platform::SystemLanguageId()))) {
  Loaded();
}

TVnFolderDialog::~TVnFolderDialog() = default;

void TVnFolderDialog::Loaded() {
  labelCaption_ = Lookup(labelCaptions_, languageKey_);
  newFolderCaption_ = Lookup(newFolderCaptions_, languageKey_);
}

void TVnFolderDialog::SetLabelCaptions(const QStringList& value) {
  if (value == labelCaptions_) return;
  labelCaptions_ = value;
  labelCaption_ = Lookup(labelCaptions_, languageKey_);  // shown from the next run on
}

void TVnFolderDialog::SetNewFolderCaptions(const QStringList& value) {
  if (value == newFolderCaptions_) return;
  newFolderCaptions_ = value;
  newFolderCaption_ = Lookup(newFolderCaptions_, languageKey_);
  if (newFolderButton_) {
    newFolderButton_->setText(newFolderCaption_);
    SizeNewFolderButton();
  }
}

void TVnFolderDialog::SetTitles(const QStringList& value) {
  if (value != titles_) titles_ = value;
}

QWidget* TVnFolderDialog::DialogHandle() const { return picker_; }

QWidget* TVnFolderDialog::OwnerWindow() const {
  if (auto* widget = qobject_cast<QWidget*>(parent())) return widget->window();
  return QApplication::activeWindow();
}

bool TVnFolderDialog::Execute() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;  // no window system

  newStyle_ = flags_.Contains(TBrowseInfoFlags::NewDialogStyle);
  PickerOptions options;
  const int rootNumber = SpecialFolderNumber(rootFolder_);
  // A root without a folder here (control panel, printers, network) shows the whole tree.
  if (rootNumber >= 0 && SpecialFolderAvailable(rootNumber)) {
    options.rootPath = QString::fromStdString(SpecialFolderPath(rootNumber));
  }
  options.labelCaption = labelCaption_;
  options.newFolderCaption = newFolderCaption_;
  options.includeFiles = flags_.Contains(TBrowseInfoFlags::Includefiles);
  options.showStatus = flags_.Contains(TBrowseInfoFlags::ShowPath);
  options.editBox = flags_.Contains(TBrowseInfoFlags::EditBox);
  options.validate = flags_.Contains(TBrowseInfoFlags::Validate);
  options.newStyle = newStyle_;
  options.hideNewFolderButton = flags_.Contains(TBrowseInfoFlags::HideNewFolderButton);

  currentPath_ = folder_;
  pendingNewFolder_.clear();
  bool confirmed = false;
  PickerItemInfo result;
  // The component's own "New folder" button closes the picker as cancelled and
  // asks for it to be shown again, so that it opens on the new folder.
  do {
    reopen_ = false;
    folder_ = currentPath_;
    FolderPicker picker(OwnerWindow(), options);
    picker_ = &picker;
    connect(&picker, &FolderPicker::initialized, this, &TVnFolderDialog::OnPickerInitialized);
    connect(&picker, &FolderPicker::selectionChanged, this, &TVnFolderDialog::OnPickerSelectionChanged);
    connect(&picker, &FolderPicker::validateFailed, this, &TVnFolderDialog::OnPickerValidateFailed);
    confirmed = picker.exec() == QDialog::Accepted;
    result = picker.Result();
    picker_ = nullptr;
    newFolderButton_ = nullptr;
  } while (reopen_);

  if (confirmed) {
    folder_ = result.path;
    if (!returnSpecialFolder_) {
      specialFolder_ = -1;
    } else if (result.path.isEmpty()) {
      specialFolder_ = result.specialFolder;
    } else {
      specialFolder_ = FindSpecialFolder(result.path.toStdString());
    }
  }
  return confirmed;
}

void TVnFolderDialog::OnPickerInitialized() {
  FolderPicker* picker = picker_;
  if (!picker) return;

  // Centre on the screen, keeping the size.
  if (const QScreen* screen = picker->screen()) {
    const QRect area = screen->geometry();
    const QRect frame = picker->frameGeometry();
    picker->move(area.left() + area.width() / 2 - frame.width() / 2,
                 area.top() + area.height() / 2 - frame.height() / 2);
  }

  const QString title = Lookup(titles_, languageKey_);
  if (!title.isEmpty()) picker->setWindowTitle(title);

  if (!newStyle_ && !flags_.Contains(TBrowseInfoFlags::HideNewFolderButton)) CreateNewFolderButton();
  if (newFolderButton_) {
    newFolderButton_->setEnabled(pathFlag_);
    newFolderButton_->show();
  }

  // Initial selection: the special folder, else the folder just created, else Folder.
  bool selected = false;
  if (specialFolder_ != -1) {
    if (SpecialFolderAvailable(specialFolder_)) {
      picker->SelectPath(QString::fromStdString(SpecialFolderPath(specialFolder_)));
      selected = true;
    } else {
      selected = picker->SelectSpecialPlace(specialFolder_);
    }
  }
  if (!selected && !pendingNewFolder_.isEmpty()) {
    picker->SelectPath(pendingNewFolder_);
    pendingNewFolder_.clear();
    selected = true;
  }
  if (!selected) picker->SelectPath(folder_);

  if (OnInitialized) OnInitialized(this, picker);
}

void TVnFolderDialog::OnPickerSelectionChanged(QTreeWidgetItem* item) {
  FolderPicker* picker = picker_;
  if (!picker || !item) return;
  const PickerItemInfo info = FolderPicker::ReadItem(item);
  currentPath_ = info.path;
  if (flags_.Contains(TBrowseInfoFlags::ShowPath)) {
    picker->SetStatusText(QString::fromStdString(ShortenPath(info.display.toStdString(), kStatusLimit)));
  }
  pathFlag_ = !currentPath_.isEmpty();

  bool okEnabled = flags_.Contains(TBrowseInfoFlags::OnlyFileSystem) ? pathFlag_ : true;
  if (flags_.Contains(TBrowseInfoFlags::OnlyAncestors) && !(info.attributes & kAttrFileSystemAncestor)) {
    okEnabled = false;
  }
  picker->EnableOk(okEnabled);
  if (newFolderButton_) newFolderButton_->setEnabled(pathFlag_);

  if (OnSelectionChanged) OnSelectionChanged(this, picker, item, currentPath_, info.attributes);
}

void TVnFolderDialog::OnPickerValidateFailed() {
  if (OnValidateFailed) {
    OnValidateFailed(this, picker_);
  } else {
    QApplication::beep();
  }
}

void TVnFolderDialog::CreateNewFolderButton() {
  newFolderButton_ = picker_->AddButton(newFolderCaption_);
  newFolderButton_->setObjectName("componentNewFolderButton");
  SizeNewFolderButton();
  connect(newFolderButton_, &QPushButton::clicked, this, &TVnFolderDialog::OnNewFolderButton);
}

void TVnFolderDialog::SizeNewFolderButton() {
  QPushButton* button = newFolderButton_;
  const int dpi = button->logicalDpiX();
  // The standard button size for the screen density; the width grows with the caption.
  int minWidth = dpi * 75 / 96, height = dpi * 23 / 96;
  switch (dpi) {
    case 72:
    case 96:
      minWidth = 75;
      height = 23;
      break;
    case 120:
      minWidth = 93;
      height = 28;
      break;
    case 144:
      minWidth = 112;
      height = 35;
      break;
    case 192:
      minWidth = 150;
      height = 41;
      break;
    default: break;
  }
  const int textWidth = button->fontMetrics().horizontalAdvance(button->text()) + 12;
  const int styleWidth = button->sizeHint().width();  // what the widget style needs around the text
  button->setFixedSize(std::max({textWidth, styleWidth, minWidth}), std::max(height, button->sizeHint().height()));
}

void TVnFolderDialog::OnNewFolderButton() {
  QPointer<FolderPicker> picker = picker_;
  if (!picker) return;
  bool ok = false;
  const QString name = QInputDialog::getText(picker, newFolderCaption_, QString(), QLineEdit::Normal, QString(), &ok);
  if (!ok || name.isEmpty() || !picker) return;

  reopen_ = true;
  pendingNewFolder_ = QString::fromStdString(NewFolderPath(currentPath_.toStdString(), name.toStdString()));
  // Only a folder with a path can hold a new folder; the button is disabled otherwise.
  if (currentPath_.isEmpty() || !CreateFolderLevels(pendingNewFolder_.toStdString())) {
    pendingNewFolder_.clear();
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                    QString::fromLatin1(kCannotMakeText), QMessageBox::Ok, picker);
    box.exec();
  }
  // Close the picker as cancelled; Execute shows it again.
  if (picker) QMetaObject::invokeMethod(picker, &QDialog::reject, Qt::QueuedConnection);
}
