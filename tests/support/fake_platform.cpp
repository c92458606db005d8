#include "tests/support/fake_platform.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace velmira::test {

void VirtualClock::sleepMs(int32_t ms) {
  t_.add(now_, "sleep " + std::to_string(ms));
  if (ms > 0) now_ += ms;
}

void FakeSerialPort::setPortNumber(int16_t n) {
  if (open_) throw platform::Failure("Puerto ya abierto");
  number_ = n;
}

void FakeSerialPort::open() {
  if (open_) throw platform::Failure("Puerto ya abierto");
  if (openFailure) throw platform::Failure(*openFailure, openFailureDetail);
  if (std::find(existing.begin(), existing.end(), number_) == existing.end())
    throw platform::Failure("Número de puerto no válido");
  open_ = true;
  gone_ = false;
  note("open " + std::to_string(number_));
}

void FakeSerialPort::setSettings(const std::string& s) {
  if (!open_) throw platform::Failure("Puerto cerrado");
  settings = s;
  note("settings " + s);
}

void FakeSerialPort::write(const std::string& data) {
  if (!open_) throw platform::Failure("Operación no válida con el puerto cerrado");
  for (char c : data) {
    if (gone_ || (vanishAfterBytes >= 0 && static_cast<int>(bytes.size()) >= vanishAfterBytes)) {
      gone_ = true;
      throw platform::Failure("Error de E/S", "El dispositivo ya no está conectado.");
    }
    bytes += c;
    note(std::string("write ") + c);
  }
}

void FakeSerialPort::close() {
  if (!open_) throw platform::Failure("Puerto cerrado");
  open_ = false;
  note("close");
}

std::vector<std::string> FakeDevices::displayNames() {
  if (fails) throw std::runtime_error("enumeration failed");
  return names;
}

void FakeKeys::keyEvent(uint8_t vk, uint8_t scan, uint32_t flags, uintptr_t extra) {
  note("key " + std::to_string(vk) + " " + std::to_string(scan) + " " + std::to_string(flags) + " " +
       std::to_string(extra));
}

void FakeEvents::doEvents() {
  // Actions may schedule further actions or run nested event passes.
  for (size_t i = 0; i < scheduled_.size();) {
    if (clock_.nowMs() < scheduled_[i].first) { ++i; continue; }
    std::function<void()> action = std::move(scheduled_[i].second);
    scheduled_.erase(scheduled_.begin() + static_cast<long>(i));
    action();
    i = 0;
  }
}

void FakeMessages::show(const platform::MessageBoxRequest& r) {
  shown.push_back(r);
  note("box " + r.text);
}

bool FakeMessages::askRetry(const platform::MessageBoxRequest& r) {
  shown.push_back(r);
  note("ask " + r.text);
  if (retryAnswers.empty()) return false;
  bool answer = retryAnswers.front();
  retryAnswers.erase(retryAnswers.begin());
  return answer;
}

std::vector<std::string> FakeMessages::texts() const {
  std::vector<std::string> out;
  for (const auto& r : shown) out.push_back(r.text);
  return out;
}

bool FakePictures::canLoad(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[3] = {};
  return in.read(head, 3) && std::string_view(head, 3) == "\xFF\xD8\xFF";
}

void FakeDesktop::runStarted(const RunPlan& p) {
  note("desktop started " + std::to_string(p.frames) + " frames " + std::to_string(p.photos) + " photos " +
       std::to_string(p.expectedMs) + " ms");
}

void FakeDesktop::runProgress(int done, int frames) {
  note("desktop progress " + std::to_string(done) + "/" + std::to_string(frames));
}

void FakeDesktop::runEnded(const RunOutcome& o) {
  static const char* kHow[] = {"finished", "stopped", "link failed", "no key", "camera failed"};
  folder = o.folder;
  std::string shown = folder.rfind(dir, 0) == 0 ? "DIR" + folder.substr(dir.size()) : folder;
  note("desktop " + std::string(kHow[static_cast<int>(o.how)]) + " in frame " + std::to_string(o.frame) + "/" +
       std::to_string(o.frames) + ", " + std::to_string(o.photos) + " photos in " + std::to_string(o.tookMs) + " ms" +
       (shown.empty() ? "" : ", folder " + shown));
}

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

platform::Camera::Error FakeCamera::open(Found*, std::string* serial) {
  note("camera open");
  const Cause c = next(openResults);
  if (!present) return {Cause::NotFound, {}};
  if (c == Cause::None) *serial = "PRUEBA-0001";
  return {c, {}};
}

void FakeCamera::startShot(const std::string& folder, const std::string& stem) {
  note("camera shot " + stem);
  doneAt_ = clock_.nowMs() + shotMs;
  result_ = {{}, {next(shotResults), {}}};
  for (const char* ext : {".jpg", ".cr2"}) {
    if (result_.error.cause != Cause::None || (ext[1] == 'c' && !rawToo)) break;
    const std::string name = stem + ext, bytes = "\xFF\xD8\xFF\xE0 " + name + " \xFF\xD9";
    std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
    result_.files.push_back({name, bytes.size()});
  }
}

Rig::Rig(RigOptions options)
    : link(options.portsDir.empty() ? nullptr : std::make_unique<Link>(options.portsDir)),
      platform{link ? static_cast<platform::SerialPort&>(link->serial) : serial,
               link ? static_cast<platform::DeviceEnumerator&>(link->enumerator) : devices,
               keys,
               options.clock ? *options.clock : options.realTime ? static_cast<platform::Clock&>(steady) : clock,
               options.events ? *options.events : events,
               messages,
               files,
               pictures,
               instance,
               process,
               &desktop,
               &camera,
               &fusion} {
  std::string tmpl = (std::filesystem::temp_directory_path() / "velmira-test-XXXXXX").string();
  dir_ = mkdtemp(tmpl.data());
  process.dir = dir_;
  process.pictures = dir_ + "/Imágenes";
  desktop.dir = dir_;
  oldCwd_ = std::filesystem::current_path().string();
  // The notes file is looked up in the current directory.
  std::filesystem::current_path(dir_);
  // With a real link, a background picture: start-up then shows no box
  // about it.
  if (link) writeFile("MiImagen.jpg", "\xFF\xD8\xFF\xE0");
}

Rig::~Rig() {
  form_.reset();
  std::error_code ec;
  std::filesystem::current_path(oldCwd_, ec);
  std::filesystem::remove_all(dir_, ec);
}

Form_Principal& Rig::form() {
  if (!form_) form_ = std::make_unique<Form_Principal>(platform);
  return *form_;
}

bool Rig::start() {
  try {
    form().start();
    return true;
  } catch (const ProgramEnded&) {
    return false;
  }
}

void Rig::writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(dir_ + "/" + name, std::ios::binary);
  out << bytes;
}

std::optional<std::string> Rig::readFile(const std::string& name) const {
  std::ifstream in(dir_ + "/" + name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Rig::connect(const std::string& name) {
  Form_Principal& f = form();
  if (!link && f.ComboBoxCOM.listCount() == 0) {
    devices.names = {name};
    f.BuscarPuerto_Click();
  }
  int item = 0;
  for (int i = 0; i < f.ComboBoxCOM.listCount(); ++i)
    if (f.ComboBoxCOM.items()[static_cast<size_t>(i)].text.find(name) != std::string::npos) {
      item = i;
      break;
    }
  f.ComboBoxCOM.setListIndex(item);
  f.Command_CONECTAR.click();
}


std::optional<std::string> FakeFusion::fuse(const std::string& folder) {
  int photos = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    photos += e.path().filename().string().rfind("foto-", 0) == 0 && e.path().extension() == ".jpg";
  std::ifstream record(folder + "/pila.txt");
  const bool ended = std::string(std::istreambuf_iterator<char>(record), {}).find("\nFinal: ") != std::string::npos;
  note("fuse " + folder + " " + std::to_string(photos) + " photos" + (ended ? "" : " before the record's end"));
  if (!missing) return std::nullopt;
  return "No se pudo apilar la foto: faltan las herramientas de apilado. Instálelas con «sudo apt install "
         "hugin-tools enfuse».";
}

}  // namespace velmira::test
