// The program's handling of the signals that end it respects what it was
// started with: a signal ignored then (nohup, a background job) stays
// ignored, and the handlers there before come back when the window ends.
#include <gtest/gtest.h>

#include <csignal>

#include "qt/ending.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

extern "C" void earlierHandler(int) {}

using Handler = void (*)(int);
Handler current(int signal) {
  struct sigaction a {};
  sigaction(signal, nullptr, &a);
  return a.sa_handler;
}
void set(int signal, Handler h) {
  struct sigaction a {};
  a.sa_handler = h;
  sigaction(signal, &a, nullptr);
}

TEST(EndFromOutsideSignals, KeepsIgnoredSignalsIgnoredAndRestoresTheHandlersBefore) {
  const Handler hup = current(SIGHUP), term = current(SIGTERM), intr = current(SIGINT);
  set(SIGHUP, SIG_IGN);  // as under nohup
  set(SIGTERM, earlierHandler);
  set(SIGINT, SIG_DFL);
  {
    test::Rig rig;
    qt::QtProcess process;
    qt::EndFromOutside ending(rig.form(), process);
    EXPECT_EQ(current(SIGHUP), SIG_IGN);
    EXPECT_NE(current(SIGTERM), earlierHandler);
    EXPECT_NE(current(SIGINT), SIG_DFL);
  }
  EXPECT_EQ(current(SIGHUP), SIG_IGN);
  EXPECT_EQ(current(SIGTERM), earlierHandler);
  EXPECT_EQ(current(SIGINT), SIG_DFL);
  set(SIGHUP, hup);
  set(SIGTERM, term);
  set(SIGINT, intr);
}

}  // namespace
}  // namespace velmira
