#pragma once
// The main window as its tests see it: a TForm1 whose controls, release
// context and the handlers the tests call are reachable from outside. The
// program itself keeps them private; only the window tests create this.
#include "app/Unit1.h"

class TForm1TestAccess : public TForm1 {
 public:
  using TForm1::TForm1;

  // Status strip and viewer.
  using TForm1::cancelab;
  using TForm1::edit;
  using TForm1::fromsite;
  using TForm1::helplab;
  using TForm1::Label2;
  using TForm1::progressbar;
  using TForm1::sfvfilelab;
  using TForm1::transparentlab;
  // Extraction-folder prompts.
  using TForm1::Button4;
  using TForm1::Button5;
  using TForm1::popupdir;
  using TForm1::popupdirbox;
  using TForm1::sfvpopupbox;
  using TForm1::sfvpopuppanel;
  // About panel.
  using TForm1::aboutbox;
  using TForm1::Button1;
  using TForm1::Memo1;
  // Options panel.
  using TForm1::afterextbox;
  using TForm1::afterextrun;
  using TForm1::aotcb;
  using TForm1::assocfiles;
  using TForm1::binbutton;
  using TForm1::Button2;
  using TForm1::Button3;
  using TForm1::choosecb;
  using TForm1::cuebutton;
  using TForm1::extracttodir;
  using TForm1::extracttodircb;
  using TForm1::optionspanel;
  using TForm1::pluginbutton;
  using TForm1::SpeedButton3;
  using TForm1::wwrapcb;
  // The folder picker, the release and the window's state.
  using TForm1::busy;
  using TForm1::context;
  using TForm1::sfvmemo;
  using TForm1::vn1;
  // Handlers the tests call directly.
  using TForm1::ExtractAfterCleanCheck;
  using TForm1::helplabClick;
  using TForm1::Label5Click;
  using TForm1::transparentlabClick;
};
