// During a move at speed 1 the position shows at the start of the step's
// wait, where painting takes nothing from the step; in the event pass after
// the wait it would lengthen that step.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "tests/support/real_window_rig.h"

namespace velmira {
namespace {

// Counts the changes of the shown position made inside waits and inside
// event passes.
template <class Base>
struct Watching : Base {
  void watch(const QLineEdit* f) { field = f; }
  template <class Call>
  void around(Call call) {
    const QString before = field ? field->text() : QString();
    call();
    if (field && field->text() != before) ++changes;
  }
  const QLineEdit* field = nullptr;
  int changes = 0;
};
struct Clock : Watching<qt::QtClock> {
  void sleepMs(int32_t ms) override { around([&] { qt::QtClock::sleepMs(ms); }); }
};
struct Pump : Watching<qt::QtEventPump> {
  void doEvents() override { around([&] { qt::QtEventPump::doEvents(); }); }
};

TEST(WindowPaint, APositionShowsInTheWaitOfAStepNotInThePassAfterIt) {
  test::RealWindowRig<Clock, Pump> r("velmira-sim-paint");
  ASSERT_TRUE(r.connected());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&r.view));
  auto* position = qobject_cast<QLineEdit*>(r.view.widgetFor("Text2"));
  r.clock.watch(position);
  r.events.watch(position);
  r.form.hscVelocidad.setValue(1);
  r.form.Text9.setText("400");
  r.form.Mover.click();
  EXPECT_GE(r.clock.changes, 10) << "a 400 ms move shows its position about 25 times";
  EXPECT_LE(r.events.changes * 4, r.clock.changes) << "shown by the step's own pass instead";
}

}  // namespace
}  // namespace velmira
