#include "tests/support/fake_camera.h"

#include <fstream>

#include "tests/support/fake_platform.h"

namespace velmira::test {

std::optional<platform::Camera::Found> FakeCamera::find(Error* error) {
  if (present) return found;
  if (error) *error = {Cause::NotFound, {}};
  return std::nullopt;
}

platform::Camera::Error FakeCamera::open(Found*, std::string* s) {
  t_.add(clock_.nowMs(), "camera open");
  Cause c = Cause::None;
  if (!openResults.empty()) {
    c = openResults.front();
    openResults.pop_front();
  }
  if (!present) c = Cause::NotFound;
  if (c != Cause::None) return {c, {}};
  isOpen = true;
  *s = serial;
  return {};
}

void FakeCamera::startShot(const std::string& folder, const std::string& stem) {
  t_.add(clock_.nowMs(), "camera shot " + stem);
  doneAt_ = clock_.nowMs() + shotMs;
  result_ = {};
  Cause c = Cause::None;
  if (!shotResults.empty()) {
    c = shotResults.front();
    shotResults.pop_front();
  }
  if (c != Cause::None) {
    result_.error = {c, {}};
    return;
  }
  const std::vector<std::string> exts = rawToo ? std::vector<std::string>{"jpg", "cr2"} : std::vector<std::string>{"jpg"};
  for (const std::string& ext : exts) {
    const std::string name = stem + "." + ext;
    const std::string bytes = "\xFF\xD8\xFF\xE0 " + name + " \xFF\xD9";
    std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
    result_.files.push_back({name, bytes.size()});
  }
}

bool FakeCamera::finished() { return clock_.nowMs() >= doneAt_; }

platform::Camera::Shot FakeCamera::shot() { return result_; }

void FakeCamera::close() {
  t_.add(clock_.nowMs(), "camera close");
  isOpen = false;
}

}  // namespace velmira::test
