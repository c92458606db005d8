// The real main window over the fakes of the platform: the test sees the
// widgets the user sees and the bytes, boxes and waits the fakes record.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <memory>
#include <string>

#include "qt/handler_call.h"
#include "qt/look.h"
#include "qt/main_view.h"
#include "qt/notes_view.h"
#include "qt/qt_platform.h"
#include "tests/support/fake_platform.h"

namespace velmira::test {

class WindowRig {
 public:
  // With `qtEvents` the window's event passes run Qt's events (clicks made
  // during a move arrive); otherwise they run the fake's scheduled actions.
  explicit WindowRig(bool qtEvents = false) : rig(qtEvents ? RigOptions{.events = &qtPump_} : RigOptions{}) {}
  ~WindowRig() { view_.reset(); }

  Form_Principal& form() { return rig.form(); }
  qt::MainView& view() {
    if (!view_) view_ = std::make_unique<qt::MainView>(form());
    return *view_;
  }
  // Start-up with the window on screen and active; false when it ended.
  bool start() {
    view();
    bool ok = true;
    try {
      form().start();
    } catch (const ProgramEnded&) {
      ok = false;
    }
    QApplication::setActiveWindow(view_.get());
    QApplication::processEvents();
    return ok;
  }
  void connect() { rig.connect(); }
  template <class W = QWidget>
  W* w(const std::string& name) {
    W* widget = view().widget<W>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  qt::NotesView& notes() { return view().notesView(); }

 private:
  qt::QtEventPump qtPump_;

 public:
  Rig rig;

 private:
  std::unique_ptr<qt::MainView> view_;
};

// The colour the window shows at `p` (window coordinates).
inline QColor shownAt(QWidget& window, QPoint p) { return window.grab().toImage().pixelColor(p); }

inline bool near(const QColor& a, const QColor& b, int tolerance = 12) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

inline std::string str(const QColor& c) {
  return "rgb(" + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," + std::to_string(c.blue()) + ")";
}

}  // namespace velmira::test
