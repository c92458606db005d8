// Makes a picture of the main window for the documentation: the real window
// over the machine's platform, with one simulated port listed, nothing
// written to any port, and the start-up boxes answered at once.  It also
// prints how well the captions stand out from the background picture: the
// contrast ratio (relative luminance, as the accessibility guidelines
// measure it; 4.5:1 is their minimum for text, 7:1 their enhanced level)
// between each caption's colour and the picture behind it, over the
// caption's whole box.
//   velmira-screenshot OUT.png [PROGRAM_DIR]
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "qt/look.h"

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

double luminance(QColor c) {
  auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

double contrast(QColor a, QColor b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The lowest contrast of each visible caption against what lies behind it.
void reportContrast(velmira::Form_Principal& form, velmira::qt::MainView& view) {
  std::vector<velmira::Control*> captions;
  for (velmira::Control* c : form.controls())
    if (c->kind() == velmira::Kind::Label && c->visible() &&
        static_cast<velmira::Label*>(c)->transparent())
      captions.push_back(c);
  // What lies behind the captions: the window with nothing but its picture.
  std::vector<velmira::Control*> hidden;
  for (velmira::Control* c : form.controls())
    if (c->kind() != velmira::Kind::Image && c->visible()) hidden.push_back(c);
  for (velmira::Control* c : hidden) c->setVisible(false);
  QApplication::processEvents();
  const QImage ground = view.grab().toImage();
  for (velmira::Control* c : hidden) c->setVisible(true);
  QApplication::processEvents();
  struct Worst { double ratio; std::string name; };
  std::vector<Worst> worst;
  for (velmira::Control* c : captions) {
    const QColor ink = c->foreColor() >= 0 ? velmira::qt::colourOf(c->foreColor()) : QColor(Qt::black);
    const QRect box = velmira::qt::pxRect(c->geometry()).intersected(ground.rect());
    double lowest = 21;
    for (int y = box.top(); y <= box.bottom(); ++y)
      for (int x = box.left(); x <= box.right(); ++x) lowest = std::min(lowest, contrast(ink, ground.pixelColor(x, y)));
    worst.push_back({lowest, c->name()});
  }
  std::sort(worst.begin(), worst.end(), [](const Worst& a, const Worst& b) { return a.ratio < b.ratio; });
  std::printf("contraste de las etiquetas sobre el fondo (el peor punto de cada una), %zu etiquetas:\n", worst.size());
  for (size_t i = 0; i < worst.size() && i < 3; ++i) std::printf("  %s %.1f:1\n", worst[i].name.c_str(), worst[i].ratio);
}

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
  reportContrast(form, view);
  const bool saved = view.grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
  if (!saved) std::fprintf(stderr, "cannot write %s\n", argv[1]);
  return saved ? 0 : 1;
}
