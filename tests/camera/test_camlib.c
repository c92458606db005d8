/* A camera driver for libgphoto2 (a "camlib", loaded through CAMLIBS): a
 * camera on USB (the port of test_usb_port.c) that takes a photo by making
 * a JPEG in its memory, hands it over as a real camera does (the capture's
 * path, then the file), and reports a RAW beside it and the capture's end
 * as events.  Files in the folder $VELMIRA_CAMARA_PRUEBA steer it:
 *   ocupada N     the first N captures find it busy
 *   desaparece N  after N photos it is unplugged
 *   llena         its memory is full
 *   raw           a RAW file beside each JPEG
 *   tamano BYTES  the size of each JPEG */
#include <gphoto2/gphoto2-library.h>
#include <gphoto2/gphoto2-result.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tests/camera/test_camera.h"

struct photo {
  char name[32];
  char *data;
  unsigned long size;
};

/* The camera's memory: the last JPEG and RAW taken. */
static struct photo memory[2];
static int photos;
static int raw_pending, complete_pending, busy;

static void forget(struct photo *p) {
  free(p->data);
  memset(p, 0, sizeof *p);
}

/* A JPEG's frame: its start, a comment naming the photo, filler, its end. */
static void make(struct photo *p, const char *name, unsigned long size) {
  char head[64];
  unsigned long n = (unsigned long)snprintf(head, sizeof head, "\xFF\xD8\xFF\xFE%c%cVelmira prueba %s", 0, 0, name);
  forget(p);
  snprintf(p->name, sizeof p->name, "%s", name);
  head[5] = (char)(n - 4); /* the comment's length, its own two bytes included */
  if (size < n + 2) size = n + 2;
  p->data = malloc(size);
  p->size = size;
  memcpy(p->data, head, n);
  memset(p->data + n, (char)photos, size - n - 2);
  memcpy(p->data + size - 2, "\xFF\xD9", 2);
}

static int capture(Camera *camera, CameraCaptureType type, CameraFilePath *path, GPContext *context) {
  int gone = test_camera_flag("desaparece"), size = test_camera_flag("tamano");
  char name[32];
  (void)type;
  if (gone >= 0 && photos >= gone) return GP_ERROR_IO;
  if (busy > 0 && busy--) return GP_ERROR_CAMERA_BUSY;
  if (test_camera_flag("llena") >= 0) return GP_ERROR_NO_SPACE;
  ++photos;
  snprintf(name, sizeof name, "IMG_%04d.JPG", photos);
  make(&memory[0], name, size > 0 ? (unsigned long)size : 4096);
  gp_filesystem_append(camera->fs, "/", name, context);
  forget(&memory[1]);
  raw_pending = test_camera_flag("raw") >= 0;
  if (raw_pending) {
    snprintf(name, sizeof name, "IMG_%04d.CR2", photos);
    make(&memory[1], name, 8192);
  }
  complete_pending = 1;
  strcpy(path->folder, "/");
  strcpy(path->name, memory[0].name);
  return GP_OK;
}

static int wait_for_event(Camera *camera, int timeout, CameraEventType *type, void **data, GPContext *context) {
  (void)camera, (void)timeout;
  *data = NULL;
  if (raw_pending) {
    CameraFilePath *p = calloc(1, sizeof *p);
    raw_pending = 0;
    strcpy(p->folder, "/");
    strcpy(p->name, memory[1].name);
    gp_filesystem_append(camera->fs, "/", p->name, context);
    *type = GP_EVENT_FILE_ADDED;
    *data = p;
  } else if (complete_pending) {
    complete_pending = 0;
    *type = GP_EVENT_CAPTURE_COMPLETE;
  } else {
    *type = GP_EVENT_TIMEOUT;  /* nothing more: it answers at once */
  }
  return GP_OK;
}

static int summary(Camera *camera, CameraText *text, GPContext *context) {
  (void)camera, (void)context;
  snprintf(text->text, sizeof text->text, "Model: %s\nSerial Number: VP-0042\n", TEST_CAMERA_MODEL);
  return GP_OK;
}

static int list_files(CameraFilesystem *fs, const char *folder, CameraList *list, void *data, GPContext *context) {
  int i;
  (void)fs, (void)folder, (void)data, (void)context;
  for (i = 0; i < 2; ++i)
    if (memory[i].data) gp_list_append(list, memory[i].name, NULL);
  return GP_OK;
}

static int list_folders(CameraFilesystem *fs, const char *folder, CameraList *list, void *data,
                        GPContext *context) {
  (void)fs, (void)folder, (void)list, (void)data, (void)context;
  return GP_OK;
}

static int get_file(CameraFilesystem *fs, const char *folder, const char *filename, CameraFileType type,
                    CameraFile *file, void *data, GPContext *context) {
  int i;
  (void)fs, (void)folder, (void)type, (void)data, (void)context;
  for (i = 0; i < 2; ++i)
    if (memory[i].data && !strcmp(memory[i].name, filename)) return gp_file_append(file, memory[i].data, memory[i].size);
  return GP_ERROR_FILE_NOT_FOUND;
}

static int leave(Camera *camera, GPContext *context) {
  (void)camera, (void)context;
  forget(&memory[0]);
  forget(&memory[1]);
  return GP_OK;
}

static CameraFilesystemFuncs filesystem = {
    .file_list_func = list_files, .folder_list_func = list_folders, .get_file_func = get_file};

int camera_id(CameraText *id) {
  strcpy(id->text, "velmira-prueba");
  return GP_OK;
}

int camera_abilities(CameraAbilitiesList *list) {
  CameraAbilities a;
  memset(&a, 0, sizeof a);
  strcpy(a.model, TEST_CAMERA_MODEL);
  a.status = GP_DRIVER_STATUS_PRODUCTION;
  a.port = GP_PORT_USB;
  a.usb_vendor = TEST_CAMERA_VENDOR;
  a.usb_product = TEST_CAMERA_PRODUCT;
  a.operations = GP_OPERATION_CAPTURE_IMAGE;
  a.file_operations = GP_FILE_OPERATION_NONE;
  a.folder_operations = GP_FOLDER_OPERATION_NONE;
  return gp_abilities_list_append(list, a);
}

int camera_init(Camera *camera, GPContext *context) {
  (void)context;
  photos = 0;
  raw_pending = complete_pending = 0;
  busy = test_camera_flag("ocupada");
  camera->functions->capture = capture;
  camera->functions->wait_for_event = wait_for_event;
  camera->functions->summary = summary;
  camera->functions->exit = leave;
  return gp_filesystem_set_funcs(camera->fs, &filesystem, camera);
}
