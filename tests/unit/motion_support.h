// What the motion and stack tests share: a window on the fakes whose
// transcript also shows what the user sees change (the position, the photo
// count, the motor indicator) among the bytes and the waits.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace velmira::test {

class MotionRig : public ::testing::Test {
 protected:
  // Connects, lets the board come out of its reset, and starts the
  // transcript afresh (the line keeps the connect's "p").
  void conectar() {
    rig.connectedPastReset();
    rig.transcript.entries.clear();
  }

  std::vector<std::string> todo() const { return rig.transcript.all(); }
  int64_t ahora() { return rig.clock.nowMs(); }

  Rig rig{{.recordShown = true}};
  Form_Principal& f = rig.form();
};

// "write a", "sleep 1" for each letter of `letras` (the step order).
inline std::vector<std::string> pasos(const std::string& letras, int retardoMs, std::vector<std::string> posiciones) {
  std::vector<std::string> out;
  for (size_t i = 0; i < letras.size(); ++i) {
    out.push_back(std::string("write ") + letras[i]);
    out.push_back("sleep " + std::to_string(retardoMs));
    out.push_back("Text2=" + posiciones.at(i));
  }
  return out;
}

inline std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace velmira::test
