#include "platform/gphoto_camera.h"

#include <gphoto2/gphoto2.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix_files.h"

namespace velmira::platform {
namespace {

// The extension of a camera's file name, in lower case ("jpg", "cr2");
// "jpg" when it has none.
std::string extension(const char* name) {
  const char* dot = std::strrchr(name, '.');
  if (!dot || !dot[1]) return "jpg";
  std::string ext = dot + 1;
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// "usb:001,007" -> "/dev/bus/usb/001/007".
std::string usbNode(const std::string& port) {
  unsigned bus = 0, dev = 0;
  if (std::sscanf(port.c_str(), "usb:%u,%u", &bus, &dev) != 2) return {};
  char path[64];
  std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", bus, dev);
  return path;
}

void remember(GPContext*, const char* text, void* data) {
  auto* self = static_cast<std::pair<std::mutex*, std::string*>*>(data);
  std::lock_guard<std::mutex> lock(*self->first);
  *self->second = text ? text : "";
}

}  // namespace

Camera::Error GphotoCamera::errorOf(int result, const std::string& port, const std::string& said) {
  std::string detail = said.empty() ? gp_result_as_string(result) : said;
  switch (result) {
    case GP_OK:
      return {};
    case GP_ERROR_IO_USB_CLAIM:
      return {Cause::Claimed, detail};
    case GP_ERROR_CAMERA_BUSY:
      return {Cause::Busy, detail};
    case GP_ERROR_NO_SPACE:
      return {Cause::Full, detail};
    case GP_ERROR_MODEL_NOT_FOUND:
    case GP_ERROR_UNKNOWN_PORT:
      return {Cause::NotFound, detail};
    default:
      break;
  }
  // The library says only that it could not open or talk to the device: a
  // node the user may not open is the common cause on a new machine.
  const std::string node = usbNode(port);
  if (!node.empty() && access(node.c_str(), F_OK) == 0 && access(node.c_str(), R_OK | W_OK) != 0)
    return {Cause::Permission, detail};
  switch (result) {
    case GP_ERROR_IO:
    case GP_ERROR_IO_INIT:
    case GP_ERROR_IO_READ:
    case GP_ERROR_IO_WRITE:
    case GP_ERROR_IO_USB_FIND:
    case GP_ERROR_IO_UPDATE:
    case GP_ERROR_TIMEOUT:
      return {Cause::Gone, detail};
    default:
      return {Cause::Other, detail};
  }
}

GphotoCamera::GphotoCamera() {
  context_ = gp_context_new();
  gp_context_set_error_func(context_, remember, &target_);
}

GphotoCamera::~GphotoCamera() {
  close();
  if (abilities_) gp_abilities_list_free(abilities_);
  gp_context_unref(context_);
}

CameraAbilitiesList* GphotoCamera::abilities() {
  // Loading the camera drivers takes a while: once per program run.
  if (!abilities_) {
    gp_abilities_list_new(&abilities_);
    gp_abilities_list_load(abilities_, context_);
  }
  return abilities_;
}

std::optional<Camera::Found> GphotoCamera::find(Error* error) {
  GPPortInfoList* ports = nullptr;
  CameraList* list = nullptr;
  std::optional<Found> found;
  gp_port_info_list_new(&ports);
  int r = gp_port_info_list_load(ports);
  if (r >= GP_OK) {
    gp_list_new(&list);
    r = gp_abilities_list_detect(abilities(), ports, list, context_);
    const int n = r >= GP_OK ? gp_list_count(list) : 0;
    for (int i = 0; i < n && !found; ++i) {
      const char *model = nullptr, *port = nullptr;
      gp_list_get_name(list, i, &model);
      gp_list_get_value(list, i, &port);
      // Cameras on USB only: the bare "usb:" is no device, and a card
      // reader's folder ("disk:") cannot take a photo.
      if (model && port && std::strncmp(port, "usb:", 4) == 0 && std::strcmp(port, "usb:") != 0)
        found = Found{model, port};
    }
    gp_list_free(list);
  }
  gp_port_info_list_free(ports);
  if (!found && error) *error = r < GP_OK ? errorOf(r, {}, {}) : Error{Cause::NotFound, {}};
  return found;
}

Camera::Error GphotoCamera::open(Found* found, std::string* serial) {
  close();
  {
    std::lock_guard<std::mutex> lock(said_);
    lastError_.clear();
  }
  CameraAbilities a;
  int index = gp_abilities_list_lookup_model(abilities(), found->model.c_str());
  if (index < GP_OK) return {Cause::NotFound, found->model};
  gp_abilities_list_get_abilities(abilities(), index, &a);
  GPPortInfoList* ports = nullptr;
  gp_port_info_list_new(&ports);
  gp_port_info_list_load(ports);
  int p = gp_port_info_list_lookup_path(ports, found->port.c_str());
  GPPortInfo info;
  if (p < GP_OK || gp_port_info_list_get_info(ports, p, &info) < GP_OK) {
    gp_port_info_list_free(ports);
    return {Cause::NotFound, found->port};
  }
  gp_camera_new(&camera_);
  gp_camera_set_abilities(camera_, a);
  gp_camera_set_port_info(camera_, info);
  gp_port_info_list_free(ports);
  int r = gp_camera_init(camera_, context_);
  if (r < GP_OK) {
    std::string said;
    {
      std::lock_guard<std::mutex> lock(said_);
      said = lastError_;
    }
    gp_camera_unref(camera_);
    camera_ = nullptr;
    return errorOf(r, found->port, said);
  }
  port_ = found->port;

  // Photos to the camera's memory, not its card, where the camera can
  // choose: they are downloaded at once and nothing piles up on the card.
  CameraWidget* widget = nullptr;
  if (gp_camera_get_single_config(camera_, "capturetarget", &widget, context_) >= GP_OK) {
    const char* choice = nullptr;
    for (int i = 0, n = gp_widget_count_choices(widget); i < n; ++i) {
      const char* c = nullptr;
      if (gp_widget_get_choice(widget, i, &c) >= GP_OK && c && std::strstr(c, "RAM")) choice = c;
    }
    if (choice && gp_widget_set_value(widget, choice) >= GP_OK)
      gp_camera_set_single_config(camera_, "capturetarget", widget, context_);
    gp_widget_free(widget);
  }
  serial->clear();
  if (gp_camera_get_single_config(camera_, "serialnumber", &widget, context_) >= GP_OK) {
    const char* value = nullptr;
    if (gp_widget_get_value(widget, &value) >= GP_OK && value) *serial = value;
    gp_widget_free(widget);
  }
  if (serial->empty()) {
    CameraText text;
    if (gp_camera_get_summary(camera_, &text, context_) >= GP_OK) {
      const char* at = std::strstr(text.text, "Serial Number:");
      if (at) {
        at += std::strlen("Serial Number:");
        while (*at == ' ') ++at;
        *serial = std::string(at, std::strcspn(at, "\r\n"));
      }
    }
  }
  return {};
}

void GphotoCamera::startShot(const std::string& folder, const std::string& stem) {
  if (worker_.joinable()) worker_.join();
  result_ = {};
  if (!camera_) {
    result_.error = {Cause::Gone, {}};
    return;
  }
  done_ = false;
  worker_ = std::thread(&GphotoCamera::work, this, folder, stem);
}

void GphotoCamera::work(std::string folder, std::string stem) {
  Shot shot;
  auto fail = [&](int r) {
    std::string said;
    {
      std::lock_guard<std::mutex> lock(said_);
      said = lastError_;
      lastError_.clear();
    }
    shot.error = errorOf(r, port_, said);
  };
  // Downloads one file of the camera into the folder, whole or not at all.
  auto keep = [&](const CameraFilePath& path) {
    CameraFile* file = nullptr;
    gp_file_new(&file);
    int r = gp_camera_file_get(camera_, path.folder, path.name, GP_FILE_TYPE_NORMAL, file, context_);
    if (r < GP_OK) {
      gp_file_unref(file);
      fail(r);
      return false;
    }
    const char* data = nullptr;
    unsigned long size = 0;
    gp_file_get_data_and_size(file, &data, &size);
    const std::string ext = extension(path.name);
    std::string name = stem + "." + ext;
    for (int n = 2; std::any_of(shot.files.begin(), shot.files.end(), [&](const File& f) { return f.name == name; });
         ++n)
      name = stem + "-" + std::to_string(n) + "." + ext;
    std::optional<std::string> failed = writeWhole(folder + "/" + name, data, size);
    gp_file_unref(file);
    if (failed) {
      shot.error = {Cause::Disk, *failed};
      return false;
    }
    shot.files.push_back({name, size});
    return true;
  };

  CameraFilePath path{};
  int r = gp_camera_capture(camera_, GP_CAPTURE_IMAGE, &path, context_);
  if (r < GP_OK)
    fail(r);
  else if (keep(path)) {
    // What the camera still has to say (a RAW beside the JPEG, the end of
    // the capture), until it says nothing more: a camera shot again too
    // soon can stay stuck.
    for (int events = 0; events < 64; ++events) {
      CameraEventType type = GP_EVENT_UNKNOWN;
      void* data = nullptr;
      r = gp_camera_wait_for_event(camera_, drainTimeoutMs, &type, &data, context_);
      if (r < GP_OK) {
        std::free(data);
        fail(r);
        break;
      }
      const bool added = type == GP_EVENT_FILE_ADDED && data;
      const bool ok = !added || keep(*static_cast<CameraFilePath*>(data));
      std::free(data);
      if (!ok || type == GP_EVENT_TIMEOUT) break;
    }
  }
  result_ = std::move(shot);
  done_ = true;
}

Camera::Shot GphotoCamera::shot() {
  if (worker_.joinable()) worker_.join();
  return result_;
}

void GphotoCamera::close() {
  if (worker_.joinable()) worker_.join();
  done_ = true;
  if (!camera_) return;
  gp_camera_exit(camera_, context_);
  gp_camera_unref(camera_);
  camera_ = nullptr;
}

}  // namespace velmira::platform
