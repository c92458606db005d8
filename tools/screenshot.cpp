// Makes a picture of the main window for the documentation: the real window
// over the machine's platform, with one simulated port listed, nothing
// written to any port, and the start-up boxes answered at once.
//   velmira-screenshot OUT.png [PROGRAM_DIR]
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

#include "app/form_principal.h"
#include "qt/main_view.h"
#include "qt/real_platform.h"

namespace {

class QuietBoxes : public velmira::platform::MessageBoxes {
 public:
  void show(const velmira::platform::MessageBoxRequest&) override {}
};

class AloneHere : public velmira::platform::InstanceGuard {
 public:
  bool otherInstanceRunning() override { return false; }
  bool activate(const std::string&) override { return false; }
};

class OnePort : public velmira::platform::DeviceEnumerator {
 public:
  std::vector<std::string> displayNames() override { return {"velmira-sim (pts/3) (COM1)"}; }
};

class ProcessIn : public velmira::qt::QtProcess {
 public:
  explicit ProcessIn(std::string dir) : dir_(std::move(dir)) {}
  std::string programDir() override { return dir_; }
  std::string exeName() override { return "velmira"; }

 private:
  std::string dir_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png [PROGRAM_DIR]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  QTemporaryDir empty;
  const std::string dir = argc > 2 ? argv[2] : empty.path().toStdString();

  velmira::qt::RealPlatform machine;
  QuietBoxes boxes;
  AloneHere alone;
  OnePort port;
  ProcessIn process(dir);
  velmira::platform::Platform platform{machine.serial, port,  machine.keys,     machine.clock, machine.events,
                                       boxes,          machine.files, machine.pictures, alone, process};
  velmira::Form_Principal form(platform);
  velmira::qt::MainView view(form);
  form.start();
  QApplication::processEvents();
  const bool saved = view.grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
  if (!saved) std::fprintf(stderr, "cannot write %s\n", argv[1]);
  return saved ? 0 : 1;
}
