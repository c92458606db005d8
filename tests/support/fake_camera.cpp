#include "tests/support/fake_camera.h"

#include <fstream>

#include "tests/support/fake_platform.h"

namespace velmira::test {
namespace {

// The next scripted result, None once they are used up.
platform::Camera::Cause next(std::deque<platform::Camera::Cause>& results) {
  if (results.empty()) return platform::Camera::Cause::None;
  const auto c = results.front();
  results.pop_front();
  return c;
}

}  // namespace

std::optional<platform::Camera::Found> FakeCamera::find(Error* error) {
  if (present) return found;
  if (error) *error = {Cause::NotFound, {}};
  return std::nullopt;
}

platform::Camera::Error FakeCamera::open(Found*, std::string* s) {
  t_.add(clock_.nowMs(), "camera open");
  Cause c = next(openResults);
  if (!present) c = Cause::NotFound;
  if (c != Cause::None) return {c, {}};
  isOpen = true;
  *s = serial;
  return {};
}

void FakeCamera::startShot(const std::string& folder, const std::string& stem) {
  t_.add(clock_.nowMs(), "camera shot " + stem);
  doneAt_ = clock_.nowMs() + shotMs;
  result_ = {{}, {next(shotResults), {}}};
  if (result_.error.cause != Cause::None) return;
  for (const char* ext : {".jpg", ".cr2"}) {
    if (ext[1] == 'c' && !rawToo) break;
    const std::string name = stem + ext, bytes = "\xFF\xD8\xFF\xE0 " + name + " \xFF\xD9";
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
