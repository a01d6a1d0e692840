// bench_startup [FILE.nfo] [RUNS]: time from process start to the window
// shown and painted, for Lumeskar's main window on an .nfo file (without one:
// the demo release's, made by make-demo-release) and for a bare Qt window of
// the same size, each in fresh processes, alternating, at display scales 1
// and 2 (QT_SCALE_FACTOR). Prints the medians of wall and processor time and
// their ratios. Uses the display it finds (or Qt's offscreen platform).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/Fonts.h"
#include "app/Unit1.h"
#include "bench/BenchSupport.h"

namespace {
using Clock = std::chrono::steady_clock;

// Child: build the window, show it, wait until it is exposed, report.
int ShowOnce(const char* kind, const char* nfo) {
  // BENCH_TRACE=1 prints where the child's time goes.
  const bool trace = std::getenv("BENCH_TRACE") != nullptr;
  auto t0 = Clock::now();
  auto mark = [&](const char* what) {
    if (trace)
      std::fprintf(stderr, "%8.1f ms  %s\n", std::chrono::duration<double, std::milli>(Clock::now() - t0).count(),
                   what);
  };
  int argc = 1;
  char name[] = "bench_startup";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  mark("application");
  QWidget* w = nullptr;
  if (std::strcmp(kind, "lumeskar") == 0) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    mark("style");
    if (trace) {
      QFontMetrics(FontS()).height();
      QFontMetrics(FontL()).height();
      QFontMetrics(FontB()).height();
      mark("system fonts resolved");
    }
    w = new TForm1(QString::fromLocal8Bit(nfo));
    mark("window built");
  } else {
    w = new QWidget;
    w->setFixedSize(531, 452);
  }
  w->show();
  while (!w->isVisible() || !w->windowHandle() || !w->windowHandle()->isExposed())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  mark("exposed");
  QCoreApplication::processEvents();  // the first paint
  mark("painted");
  std::printf("shown\n");
  std::fflush(stdout);
  delete w;
  return 0;
}

struct Times {
  double wallMs = -1, cpuMs = -1;
};

Times RunChild(const char* self, const char* kind, const char* nfo) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    execl(self, self, "--child", kind, nfo, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char buf[16];
  ssize_t n = read(fds[0], buf, sizeof buf);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  auto msOf = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  if (n <= 0) return {};
  return {ms, msOf(usage.ru_utime) + msOf(usage.ru_stime)};
}

// The demo release's .nfo, made in `folder` by make-demo-release from the
// build beside this program; "" when there is none.
std::string DemoNfo(const std::string& self, const std::string& folder) {
  const std::string build = self.substr(0, self.rfind("/bench/"));
  const std::string maker = build + "/make-demo-release";
  if (access(maker.c_str(), X_OK) != 0) return "";
  std::string out;
  if (FILE* pipe = popen(("'" + maker + "' '" + folder + "/release'").c_str(), "r")) {
    char line[4096];
    while (fgets(line, sizeof line, pipe)) out = line;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// An 80-column .nfo of typical size: art, box and text lines.
std::string TypicalNfo() {
  std::string nfo;
  for (int i = 0; i < 120; ++i) {
    if (i % 3 == 0)
      nfo += std::string(78, '\xDB') + "\r\n";
    else if (i % 3 == 1)
      nfo += "\xBA  Release notes line " + std::to_string(i) + std::string(50, ' ') + "\xBA\r\n\r\n";
    else
      nfo += std::string(20, '\xB0') + std::string(20, '\xB1') + std::string(20, '\xB2') + "\r\n";
  }
  return nfo;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) return ShowOnce(argv[2], argv[3]);
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  std::string nfo = argc > 1 ? argv[1] : "";
  int runs = argc > 2 ? std::atoi(argv[2]) : 15;
  char self[4096];
  ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return 1;
  self[len] = 0;
  const bench::ScratchFolder scratch("/tmp");
  if (nfo.empty()) nfo = DemoNfo(self, scratch.path());
  if (nfo.empty()) {
    nfo = scratch.path() + "/typical.nfo";
    std::ofstream(nfo, std::ios::binary) << TypicalNfo();
  }

  std::printf("CPU: %s\n", bench::CpuModel().c_str());
  std::printf("platform: %s, %d runs each, .nfo: %s\n",
              std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "default display", runs, nfo.c_str());
  for (const char* scale : {"1", "2"}) {
    setenv("QT_SCALE_FACTOR", scale, 1);
    std::vector<double> bare, lumeskar, bareCpu, lumeskarCpu;
    RunChild(self, "bare", nfo.c_str());  // warm the caches once
    RunChild(self, "lumeskar", nfo.c_str());
    for (int i = 0; i < runs; ++i) {
      const Times b = RunChild(self, "bare", nfo.c_str()), l = RunChild(self, "lumeskar", nfo.c_str());
      bare.push_back(b.wallMs);
      bareCpu.push_back(b.cpuMs);
      lumeskar.push_back(l.wallMs);
      lumeskarCpu.push_back(l.cpuMs);
    }
    const double b = bench::Median(bare), l = bench::Median(lumeskar);
    const double bc = bench::Median(bareCpu), lc = bench::Median(lumeskarCpu);
    std::printf("display scale %s (medians, process start to window shown and painted)\n", scale);
    std::printf("  bare Qt window   : %7.1f ms, %7.1f ms CPU\n", b, bc);
    std::printf("  Lumeskar window  : %7.1f ms, %7.1f ms CPU\n", l, lc);
    std::printf("  ratio            : %7.2fx, %7.2fx CPU (target <= 1.15x)\n", l / b, lc / bc);
  }
  return 0;
}
