#include "app/Unit1.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>

#include "app/AboutText.h"
#include "app/Dialogs.h"
#include "app/Fonts.h"
#include "app/Icon.h"
#include "app/KeyPressGuard.h"
#include "app/ProgressStrip.h"
#include "app/TerminalLabel.h"
#include "app/TextBox.h"
#include "extract/ExtractionRun.h"
#include "platform/Version.h"

TForm1* Form1 = nullptr;

namespace {
const QColor kBlack(0x00, 0x00, 0x00);
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kAqua(0x00, 0xFF, 0xFF);
const QColor kYellow(0xFF, 0xFF, 0x00);

void Colour(QWidget* w, const QColor& fg, const QColor* bg = nullptr) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::WindowText, fg);
  pal.setColor(QPalette::Text, fg);
  if (bg) {
    pal.setColor(QPalette::Window, *bg);
    pal.setColor(QPalette::Base, *bg);
    w->setAutoFillBackground(true);
  }
  w->setPalette(pal);
}

template <typename W>
W* Place(W* w, int x, int y, int width, int height) {
  w->setGeometry(x, y, width, height);
  return w;
}

// Captions are laid out for the classic dialog font; the stand-in font and
// style may need a few pixels more. A caption never gets clipped: its control
// keeps its place and grows to the right when the text needs it. Controls are
// marked here and fitted when their panel is first shown, so start-up does not
// load the dialog fonts for panels nobody has opened.
constexpr char kFitCaption[] = "lumeskarFitCaption";

template <typename W>
W* FitCaption(W* w) {
  w->setProperty(kFitCaption, true);
  return w;
}

void FitMarkedCaptions(QWidget* root, Qt::FindChildOptions options) {
  for (QWidget* w : root->findChildren<QWidget*>(QString(), options)) {
    if (!w->property(kFitCaption).toBool()) continue;
    w->setProperty(kFitCaption, false);
    w->resize(std::max(w->width(), w->sizeHint().width()), w->height());
  }
}

// A text box on a panel gets its text when the panel is first shown: laying
// out the about text is start-up work for a panel most runs never open.
constexpr char kTextOnShow[] = "lumeskarTextOnShow";

void SetTextOnShow(QPlainTextEdit* box, const QString& text) { box->setProperty(kTextOnShow, text); }

void SetMarkedTexts(QWidget* root) {
  for (QPlainTextEdit* box : root->findChildren<QPlainTextEdit*>()) {
    const QVariant text = box->property(kTextOnShow);
    if (!text.isValid()) continue;
    box->setProperty(kTextOnShow, QVariant());
    box->setPlainText(text.toString());
  }
}

// A label at a fixed place with a given font and colour.
template <typename L = QLabel>
L* MakeLabel(QWidget* parent, const QString& text, int x, int y, int w, int h, const QFont& font) {
  auto* l = Place(new L(text, parent), x, y, w, h);
  l->setFont(font);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setTextFormat(Qt::PlainText);
  return FitCaption(l);
}

// A filled black rectangle without outline.
QFrame* MakeShape(QWidget* parent, int x, int y, int w, int h) {
  auto* s = Place(new QFrame(parent), x, y, w, h);
  s->setFrameShape(QFrame::NoFrame);
  s->setAutoFillBackground(true);
  QPalette pal = s->palette();
  pal.setColor(QPalette::Window, kBlack);
  s->setPalette(pal);
  return s;
}

QLineEdit* MakeFlatEdit(QWidget* parent, int x, int y, int w, int h) {
  auto* e = Place(new QLineEdit(parent), x, y, w, h);
  e->setFont(FontS());
  e->setFrame(true);
  return e;
}

QCheckBox* MakeCheck(QWidget* parent, const QString& text, int x, int y, int w, int h) {
  auto* c = Place(new QCheckBox(text, parent), x, y, w, h);
  c->setFont(FontS());
  return FitCaption(c);
}
}  // namespace

void TClickLabel::mouseReleaseEvent(QMouseEvent* e) {
  QLabel::mouseReleaseEvent(e);
  if (rect().contains(e->position().toPoint())) emit clicked();
}

void TAutoSizeLabel::setText(const QString& text) {
  QLabel::setText(text);
  resize(TerminalTextWidth(text), height());
}

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  setPalette(pal);
  setFont(FontS());
  hide();
}

void TPanel::showEvent(QShowEvent* e) {
  FitMarkedCaptions(this, Qt::FindChildrenRecursively);
  SetMarkedTexts(this);
  QFrame::showEvent(e);
}

void TPanel::mouseMoveEvent(QMouseEvent* e) {
  emit mouseMoved(e);
  QFrame::mouseMoveEvent(e);
}

TForm1::TForm1(const QString& argument, QWidget* parent) : QWidget(parent) {
  Form1 = this;
  SetMessageOwner(this);
  setWindowTitle(QStringLiteral("Lumeskar - ") + QString::fromLatin1(kMakerWebAddress));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(531, 452);
  setWindowIcon(LumeskarIcon());
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kBlack);
  setPalette(pal);
  setFont(FontS());

  // Creation order is stacking order: later components lie on top.
  BuildStatusStrip();
  BuildViewer();
  BuildPrompts();
  BuildAboutBox();
  BuildOptionsPanel();
  FitMarkedCaptions(this, Qt::FindDirectChildrenOnly);  // the status strip
  ConnectHandlers();
  // The window acts on key releases: only on those of keys pressed in it.
  new KeyPressGuard(this, {edit, popupdirbox, sfvpopupbox});
  CreateExtractor();
  CreateFolderDialog();

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }

  FormCreate(argument);
}

TForm1::~TForm1() {
  DestroyFolderDialog();
  DestroyExtractor();
  if (Form1 == this) Form1 = nullptr;
  SetMessageOwner(nullptr);
}

void TForm1::BuildStatusStrip() {
  sfvfilelab = MakeLabel<TAutoSizeLabel>(this, QString(), 0, 432, 324, 8, FontT());
  sfvfilelab->setText(QStringLiteral("Please load the program by double clicking an NFO file"));
  Colour(sfvfilelab, kLime, &kBlack);
  Label2 = MakeLabel(this, QStringLiteral("This release originated from:"), 0, 443, 209, 11, FontT());
  Colour(Label2, kLime, &kBlack);
  fromsite = MakeLabel(this, QStringLiteral("Unknown Site"), 176, 443, 72, 8, FontT());
  fromsite->setMaximumHeight(11);
  Colour(fromsite, kLime, &kBlack);
  helplab = MakeLabel<TClickLabel>(this, QStringLiteral("Help"), 496, 439, 33, 11, FontL());
  Colour(helplab, kRed, &kBlack);
  transparentlab = MakeLabel<TClickLabel>(this, QStringLiteral("Options"), 432, 439, 49, 11, FontL());
  Colour(transparentlab, kAqua);
  cancelab = MakeLabel<TClickLabel>(this, QStringLiteral("CANCEL"), 184, 440, 42, 11, FontL());
  Colour(cancelab, kYellow);
  cancelab->hide();
  Label5 = MakeLabel<TClickLabel>(this, QStringLiteral("Extract"), 368, 439, 49, 11, FontL());
  Colour(Label5, kYellow);
  for (QLabel* label : {static_cast<QLabel*>(sfvfilelab), Label2, fromsite}) {
    DrawInTerminalFont(label);
    label->setProperty(kFitCaption, false);  // their texts are measured on the character grid
  }
}

void TForm1::BuildViewer() {
  edit = Place(new TNfoView(this), 0, 0, 531, 427);
  edit->setFrameShape(QFrame::NoFrame);
  edit->setFont(FontT());
  Colour(edit, kSilver, &kBlack);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setPlainText(QStringLiteral("No SFV Opened"));
  edit->viewport()->setMouseTracking(true);
  edit->installEventFilter(this);
  edit->viewport()->installEventFilter(this);
  // The scroll bar keeps the system look, not the viewer's black.
  edit->verticalScrollBar()->setPalette(QApplication::palette());

  progressbar = Place(new ProgressStrip(this), 0, 428, 531, 3);
}

void TForm1::BuildPrompts() {
  struct Prompt {
    TPanel*& panel;
    QLabel*& title;
    QFrame*& shape;
    QLabel*& hint;
    QLineEdit*& box;
    QPushButton*& button;
    int titleTop;
  };
  Prompt prompts[] = {
      {popupdir, Label6, Shape3, Label8, popupdirbox, Button5, 0},
      {sfvpopuppanel, Label9, Shape4, Label10, sfvpopupbox, Button4, 1},
  };
  for (auto& p : prompts) {
    p.panel = Place(new TPanel(this), 72, 200, 393, 65);
    p.title = MakeLabel(p.panel, QStringLiteral("Extract to Directory"), 8, p.titleTop, 132, 16, FontB());
    p.shape = MakeShape(p.panel, 8, 16, 377, 3);
    p.hint =
        MakeLabel(p.panel, QStringLiteral("Type a directory to extract this release to..."), 184, 18, 200, 13, FontS());
    p.box = MakeFlatEdit(p.panel, 8, 40, 353, 19);
    p.box->installEventFilter(this);
    p.button = Place(new QPushButton(QStringLiteral("..."), p.panel), 368, 40, 17, 17);
    p.button->setFont(FontS());
  }
}

void TForm1::BuildAboutBox() {
  aboutbox = Place(new TPanel(this), 16, 104, 489, 249);
  aboutbox->setMouseTracking(true);
  Shape2 = MakeShape(aboutbox, 8, 24, 473, 3);
  Label3 = MakeLabel(aboutbox, QStringLiteral("Lumeskar Version " LUMESKAR_VERSION), 8, 8, 160, 16, FontB());
  Memo1 = Place(new TextBox(aboutbox), 8, 26, 473, 215);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setFont(FontS());
  QColor face = aboutbox->palette().color(QPalette::Window);
  Colour(Memo1, QApplication::palette().color(QPalette::WindowText), &face);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SetTextOnShow(Memo1, QString::fromUtf8(AboutText()));
  Memo1->viewport()->setMouseTracking(true);
  Memo1->installEventFilter(this);
  Memo1->viewport()->installEventFilter(this);
  Button1 = Place(new QPushButton(QStringLiteral("Close"), aboutbox), 384, 216, 97, 25);
}

void TForm1::BuildOptionsPanel() {
  optionspanel = Place(new TPanel(this), 16, 64, 489, 329);
  QWidget* p = optionspanel;
  Shape1 = MakeShape(p, 8, 23, 457, 3);
  Label1 = MakeLabel(p, QStringLiteral("Lumeskar Options"), 8, 8, 128, 16, FontB());
  mylab = MakeLabel(p, QString(), 16, 200, 3, 13, FontS());
  mylab->hide();
  mylab2 = MakeLabel(p, QString(), 16, 216, 3, 13, FontS());
  mylab2->hide();
  mylab3 = MakeLabel(p, QStringLiteral("mylab3"), 80, 184, 33, 13, FontS());
  mylab3->hide();
  // Two lines: the caption is wider than the panel on one.
  assocfiles = MakeCheck(
      p,
      QStringLiteral(
          "Associate .nfo files with Lumeskar in the file manager\n(this is required for optimum performance)"),
      8, 32, 433, 26);
  Button2 = Place(new QPushButton(QStringLiteral("Apply"), p), 336, 296, 73, 25);
  Button3 = Place(new QPushButton(QStringLiteral("Cancel"), p), 408, 296, 65, 25);

  GroupBox1 = Place(new QGroupBox(QStringLiteral("Extraction Options"), p), 8, 63, 465, 138);
  QWidget* g = GroupBox1;
  extracttodircb = MakeCheck(g, QStringLiteral("Extract to Directory"), 10, 22, 127, 17);
  extracttodir = MakeFlatEdit(g, 139, 22, 294, 19);
  extracttodir->setEnabled(false);
  choosecb =
      MakeCheck(g, QStringLiteral("I want to choose where to extract when I check the release"), 10, 48, 311, 17);
  choosecb->setChecked(true);
  afterextbox = MakeCheck(g, QStringLiteral("After Extraction, Run"), 10, 74, 119, 17);
  afterextrun = MakeFlatEdit(g, 139, 72, 294, 19);
  afterextrun->setEnabled(false);
  SpeedButton3 = Place(new QToolButton(g), 440, 72, 17, 17);
  SpeedButton3->setText(QStringLiteral("..."));
  SpeedButton3->setAutoRaise(true);
  Label7 = MakeLabel(
      g, QStringLiteral("Typing %F here will send the filename of the extracted file (view readme for more help)"), 32,
      96, 402, 13, FontS());
  Label4 = MakeLabel(g, QStringLiteral("Shall I use the"), 112, 113, 67, 13, FontS());
  binbutton = FitCaption(Place(new QRadioButton(QStringLiteral("BIN or the"), g), 184, 112, 73, 17));
  binbutton->setChecked(true);
  cuebutton = FitCaption(Place(new QRadioButton(QStringLiteral("CUE when passing %F?"), g), 256, 112, 137, 17));

  GroupBox2 = Place(new QGroupBox(QStringLiteral("General Options"), p), 8, 208, 465, 57);
  wwrapcb = MakeCheck(GroupBox2, QStringLiteral("Use Word Wrap on viewer"), 8, 24, 153, 17);
  wwrapcb->setChecked(true);
  aotcb = MakeCheck(GroupBox2, QStringLiteral("Always on Top"), 336, 24, 97, 17);

  pluginbutton = Place(new QPushButton(QStringLiteral("Launch Plugin Manager..."), p), 8, 296, 145, 25);
  pluginbutton->hide();

  // Tab order of the options panel.
  QWidget* order[] = {assocfiles, Button2,   Button3,  extracttodir, afterextrun, afterextbox, extracttodircb,
                      binbutton,  cuebutton, choosecb, wwrapcb,      aotcb,       pluginbutton};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void TForm1::ConnectHandlers() {
  connect(sfvfilelab, &TClickLabel::clicked, this, &TForm1::sfvfilelabClick);
  connect(helplab, &TClickLabel::clicked, this, &TForm1::helplabClick);
  connect(transparentlab, &TClickLabel::clicked, this, &TForm1::transparentlabClick);
  connect(cancelab, &TClickLabel::clicked, this, &TForm1::cancelabClick);
  connect(Label5, &TClickLabel::clicked, this, &TForm1::Label5Click);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
  connect(pluginbutton, &QPushButton::clicked, this, &TForm1::pluginbuttonClick);
  // A check box's reaction runs whenever its state changes, by the user or
  // by code, as the settings load and the association probe rely on.
  connect(assocfiles, &QCheckBox::toggled, this, &TForm1::assocfilesClick);
  connect(extracttodircb, &QCheckBox::toggled, this, &TForm1::extracttodircbClick);
  connect(choosecb, &QCheckBox::toggled, this, &TForm1::choosecbClick);
  connect(afterextbox, &QCheckBox::toggled, this, &TForm1::afterextboxClick);
  connect(wwrapcb, &QCheckBox::toggled, this, &TForm1::wwrapcbClick);
  connect(aotcb, &QCheckBox::toggled, this, &TForm1::aotcbClick);
  // A radio button reacts when it becomes selected.
  connect(binbutton, &QRadioButton::toggled, this, [this](bool on) {
    if (on) binbuttonClick();
  });
  connect(cuebutton, &QRadioButton::toggled, this, [this](bool on) {
    if (on) cuebuttonClick();
  });
  connect(aboutbox, &TPanel::mouseMoved, this, &TForm1::aboutboxMouseMove);
}

bool TForm1::IsMiddleClickOnText(QObject* watched, QEvent* event) const {
  return (watched == edit->viewport() || watched == Memo1->viewport()) &&
         static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->isAutoRepeat()) break;
      if (watched == edit)
        editKeyUp(key);
      else if (watched == popupdirbox)
        popupdirboxKeyUp(key);
      else if (watched == sfvpopupbox)
        sfvpopupboxKeyUp(key);
      break;
    }
    case QEvent::MouseMove:
      if (watched == edit->viewport())
        editMouseMove(static_cast<QMouseEvent*>(event));
      else if (watched == Memo1->viewport())
        Memo1MouseMove(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseButtonRelease:
      if (watched == edit->viewport())
        editMouseUp(static_cast<QMouseEvent*>(event));
      else if (watched == Memo1->viewport())
        Memo1MouseUp(static_cast<QMouseEvent*>(event));
      if (IsMiddleClickOnText(watched, event)) return true;  // a link click, never a paste
      break;
    case QEvent::MouseButtonPress:
      if (watched == Memo1->viewport()) Memo1MouseDown(static_cast<QMouseEvent*>(event));
      if (IsMiddleClickOnText(watched, event)) return true;
      break;
    case QEvent::MouseButtonDblClick:
      if (IsMiddleClickOnText(watched, event)) return true;
      break;
    default: break;
  }
  return QWidget::eventFilter(watched, event);
}
