// The desktop services against a private bus: the session bus and the
// system bus of this process are both a private dbus-daemon, where the
// tests put small fake services of their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/dbus/fake_services.h"

int main(int argc, char** argv) {
  velmira::test::PrivateBus bus;
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
  velmira::test::FakeServices::busAddress = bus.address();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
