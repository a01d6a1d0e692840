#pragma once
// TForm1: the one main window. It builds its components at their fixed
// pixel places (the layout of the program's form) and routes the controls'
// events to handlers named after the component and the event. The handlers
// stay thin: the work is done by plain, tested code in the subsystem folders.
// The handlers live in app/*Handlers.cpp, one file for each subsystem.
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>

#include "app/NfoView.h"

#include <cstdint>
#include <memory>
#include <string>

#include "release/ReleaseContext.h"

class QKeyEvent;
class QMouseEvent;
class TRAR;
class TVnFolderDialog;
struct RARHeaderData;
class ProgressStrip;
namespace extract {
class ExtractionRun;
class ExtractionUi;
}  // namespace extract

// A label that reports a click (mouse button released over it).
class TClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
};

// A label that keeps its width equal to its text's width (its height stays).
class TAutoSizeLabel : public TClickLabel {
  Q_OBJECT
 public:
  using TClickLabel::TClickLabel;
  void setText(const QString& text);
};

// A panel with a raised one-pixel bevel in the button-face colour.
class TPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TPanel(QWidget* parent);
 signals:
  void mouseMoved(QMouseEvent* e);

 protected:
  void showEvent(QShowEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
};

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  // Builds the window and runs FormCreate with the command line's first
  // argument (empty when the program was started without one).
  explicit TForm1(const QString& argument, QWidget* parent = nullptr);
  ~TForm1() override;

  // The window's controls are its own. The runs and the options panel see
  // them through the adapters below (release::VerificationUi,
  // extract::ExtractionUi, settings::OptionsPanel); the window tests through
  // TForm1TestAccess (tests/common/TForm1TestAccess.h).
  template <class Ui>
  friend class WindowRunUi;
  friend class WindowExtractionUi;
  friend class WindowOptionsPanel;
  friend class TForm1TestAccess;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The controls, grouped by panel.

  // Status strip and viewer.
  TAutoSizeLabel* sfvfilelab = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* fromsite = nullptr;
  TClickLabel* helplab = nullptr;
  TClickLabel* transparentlab = nullptr;
  TClickLabel* cancelab = nullptr;
  TClickLabel* Label5 = nullptr;         // "Extract"
  TNfoView* edit = nullptr;              // the .nfo text
  ProgressStrip* progressbar = nullptr;  // thin bar between viewer and status strip

  // Extraction-folder prompts.
  TPanel* popupdir = nullptr;
  QLineEdit* popupdirbox = nullptr;
  QPushButton* Button5 = nullptr;
  TPanel* sfvpopuppanel = nullptr;
  QLineEdit* sfvpopupbox = nullptr;
  QPushButton* Button4 = nullptr;
  QLabel* Label6 = nullptr;
  QFrame* Shape3 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QFrame* Shape4 = nullptr;
  QLabel* Label10 = nullptr;

  // About panel.
  TPanel* aboutbox = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* Button1 = nullptr;
  QFrame* Shape2 = nullptr;
  QLabel* Label3 = nullptr;

  // Options panel.
  TPanel* optionspanel = nullptr;
  QLabel* mylab = nullptr;
  QLabel* mylab2 = nullptr;
  QLabel* mylab3 = nullptr;
  QCheckBox* assocfiles = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QCheckBox* extracttodircb = nullptr;
  QLineEdit* extracttodir = nullptr;
  QCheckBox* choosecb = nullptr;
  QCheckBox* afterextbox = nullptr;
  QLineEdit* afterextrun = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QRadioButton* binbutton = nullptr;
  QRadioButton* cuebutton = nullptr;
  QCheckBox* wwrapcb = nullptr;
  QCheckBox* aotcb = nullptr;
  QPushButton* pluginbutton = nullptr;
  QFrame* Shape1 = nullptr;
  QLabel* Label1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label4 = nullptr;
  QGroupBox* GroupBox2 = nullptr;

  // Components without a visible shape, created by their subsystems.
  TRAR* winrar = nullptr;
  TVnFolderDialog* vn1 = nullptr;

  // The release this window shows (sfvfile, checkfile, archivefile, ...).
  release::ReleaseContext context;
  // The entry list: the SFV file's text, every line ending in CR LF.
  std::string sfvmemo;
  // True while a check or an extraction runs: no second one may start.
  bool busy = false;
  // The extraction flows (extract/ExtractionRun), reading winrar at every run.
  std::unique_ptr<extract::ExtractionRun> extraction;
  // The window as the extraction flows see it.
  std::unique_ptr<extract::ExtractionUi> extractionUi;

  // --- layout (app/Unit1.cpp) ---
  void BuildStatusStrip();
  void BuildViewer();
  void BuildPrompts();
  void BuildAboutBox();
  void BuildOptionsPanel();
  void ConnectHandlers();
  // A middle-button mouse event on the viewer's or the about text.
  bool IsMiddleClickOnText(QObject* watched, QEvent* event) const;

  // --- start-up (app/FormCreate.cpp) ---
  void FormCreate(const QString& argument);
  void DiscoverRelease(const std::string& folder);

  // --- panel handlers (app/PanelHandlers.cpp) ---
  void helplabClick();
  void transparentlabClick();
  void Button1Click();
  void Button3Click();

  // --- verification run (app/VerifyHandlers.cpp) ---
  void sfvfilelabClick();
  void cancelabClick();

  // --- settings and options (app/SettingsHandlers.cpp, app/OptionsHandlers.cpp) ---
  // Start-up steps; each returns false when an error was reported that ends
  // start-up at that point (the window still opens).
  bool LoadSettings();      // load and apply the settings file
  bool ProbeAssociation();  // check assocfiles when the association exists
  void assocfilesClick();
  void Button2Click();
  void extracttodircbClick();
  void choosecbClick();
  void afterextboxClick();
  void SpeedButton3Click();
  void binbuttonClick();
  void cuebuttonClick();
  void wwrapcbClick();
  void aotcbClick();
  void pluginbuttonClick();

  // --- links (app/LinkHandlers.cpp) ---
  void editKeyUp(QKeyEvent* e);
  void editMouseMove(QMouseEvent* e);
  void editMouseUp(QMouseEvent* e);
  void Memo1MouseDown(QMouseEvent* e);
  void Memo1MouseMove(QMouseEvent* e);
  void Memo1MouseUp(QMouseEvent* e);
  void aboutboxMouseMove(QMouseEvent* e);

  // --- extraction (app/ExtractHandlers.cpp) ---
  void CreateExtractor();  // creates winrar, the extraction run, and binds their events
  void DestroyExtractor();
  void Label5Click();
  // The extraction side of a clean check, called by the status line's click
  // handler once the check has passed: chooses the archive (the first volume
  // of the RAR set listed in the SFV file, else the last file checked), then
  // opens the folder prompt when "choose where to extract" is on, and
  // extracts into the configured folder with the follow-up launch when
  // "Extract to Directory" is on.
  void ExtractAfterCleanCheck();
  void popupdirboxKeyUp(QKeyEvent* e);
  void sfvpopupboxKeyUp(QKeyEvent* e);
  void winrarError(TRAR* Sender, int Error);
  void winrarExtracting(TRAR* Sender, const RARHeaderData& eFile);
  void winrarExtract(TRAR* Sender, const RARHeaderData& eFile, bool Result);

  // --- folder dialog (app/FolderDialogHandlers.cpp) ---
  void CreateFolderDialog();  // creates vn1
  void DestroyFolderDialog();
  void Button4Click();
  void Button5Click();
};

extern TForm1* Form1;  // the one main window
