/* The test camera for libgphoto2, one module that is both its USB port
 * driver (an "iolib", loaded through IOLIBS) and its camera driver (a
 * "camlib", through CAMLIBS).  The library lists the port, finds the camera
 * on it by its USB ids and opens it as it does a real one; the camera hands
 * a photo over as a real camera does (the capture's path, then the file),
 * and reports a RAW beside it and the capture's end as events.  Words in
 * $VELMIRA_CAMARA_PRUEBA steer it:
 *   ausente       no camera on the port
 *   reclamada     another program holds the device
 *   ocupada=N     the first N captures find it busy
 *   desaparece=N  after N photos it is unplugged
 *   llena         its memory is full
 *   raw           a RAW file beside each JPEG
 *   tamano=BYTES  the size of each JPEG */
#include <gphoto2/gphoto2-library.h>
#include <gphoto2/gphoto2-port-info-list.h>
#include <gphoto2/gphoto2-result.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The number after "name=" among the steering words: -1 when the word is
 * not there, 0 when it has no number. */
static int flag(const char *name) {
  const char *words = getenv("VELMIRA_CAMARA_PRUEBA"), *at = words;
  const size_t n = strlen(name);
  for (; at && (at = strstr(at, name)); at += n)
    if ((at == words || at[-1] == ' ') && strchr("= ", at[n])) return at[n] == '=' ? atoi(at + n + 1) : 0;
  return -1;
}

/* ---- The USB port ---- */

/* The head of libgphoto2_port's table of a port driver's operations (its
 * gphoto2-port-library.h, which Debian does not install); the fields after
 * these stay empty. */
typedef struct {
  void *init, *exit;
  int (*open)(GPPort *);
  int (*close)(GPPort *);
  void *read, *check_int, *write;
  int (*update)(GPPort *);
  void *get_pin, *set_pin, *send_break, *flush;
  int (*find_device)(GPPort *, int, int);
  void *rest[17];
} PortOperations;

static int ok(GPPort *port) { return (void)port, GP_OK; }

static int port_open(GPPort *port) { return flag("reclamada") >= 0 ? GP_ERROR_IO_USB_CLAIM : ok(port); }

/* Only this camera's driver is loaded: its ids are the ones asked for. */
static int find_device(GPPort *port, int vendor, int product) {
  (void)port, (void)vendor, (void)product;
  return flag("ausente") >= 0 ? GP_ERROR_IO_USB_FIND : GP_OK;
}

GPPortType gp_port_library_type(void) { return GP_PORT_USB; }

int gp_port_library_list(GPPortInfoList *list) {
  GPPortInfo info;
  gp_port_info_new(&info);
  gp_port_info_set_type(info, GP_PORT_USB);
  gp_port_info_set_name(info, "Universal Serial Bus");
  gp_port_info_set_path(info, "usb:001,042");
  return gp_port_info_list_append(list, info) < GP_OK ? GP_ERROR : GP_OK;
}

PortOperations *gp_port_library_operations(void) {
  PortOperations *ops = calloc(1, sizeof *ops);
  if (ops) ops->open = port_open, ops->close = ops->update = ok, ops->find_device = find_device;
  return ops;
}

/* ---- The camera ---- */

static int photos, raw_pending, complete_pending, busy;

static int capture(Camera *camera, CameraCaptureType type, CameraFilePath *path, GPContext *context) {
  int gone = flag("desaparece");
  (void)type;
  if (gone >= 0 && photos >= gone) return GP_ERROR_IO;
  if (busy > 0 && busy--) return GP_ERROR_CAMERA_BUSY;
  if (flag("llena") >= 0) return GP_ERROR_NO_SPACE;
  raw_pending = flag("raw") >= 0;
  complete_pending = 1;
  strcpy(path->folder, "/");
  snprintf(path->name, sizeof path->name, "IMG_%04d.JPG", ++photos);
  return (void)gp_filesystem_append(camera->fs, "/", path->name, context), GP_OK;
}

static int wait_for_event(Camera *camera, int timeout, CameraEventType *type, void **data, GPContext *context) {
  (void)timeout;
  *data = NULL;
  *type = GP_EVENT_TIMEOUT; /* nothing more: it answers at once */
  if (raw_pending) {
    CameraFilePath *p = calloc(1, sizeof *p);
    raw_pending = 0;
    strcpy(p->folder, "/");
    snprintf(p->name, sizeof p->name, "IMG_%04d.CR2", photos);
    gp_filesystem_append(camera->fs, "/", p->name, context);
    *type = GP_EVENT_FILE_ADDED;
    *data = p;
  } else if (complete_pending) {
    complete_pending = 0;
    *type = GP_EVENT_CAPTURE_COMPLETE;
  }
  return GP_OK;
}

/* A photo in the camera's memory, made as it is downloaded: a JPEG's frame
 * (its start, a comment naming the photo, filler, its end), 8192 bytes for
 * a RAW. */
static int get_file(CameraFilesystem *fs, const char *folder, const char *name, CameraFileType type,
                    CameraFile *file, void *data, GPContext *context) {
  const int size = strstr(name, ".CR2") ? 8192 : flag("tamano") > 64 ? flag("tamano") : 4096;
  char *bytes = calloc(1, (size_t)size);
  const int n = snprintf(bytes, 64, "\xFF\xD8\xFF\xFE%c%cVelmira prueba %s", 0, 0, name);
  int r;
  (void)fs, (void)folder, (void)type, (void)data, (void)context;
  bytes[5] = (char)(n - 4); /* the comment's length, its own two bytes included */
  memcpy(bytes + size - 2, "\xFF\xD9", 2);
  r = gp_file_append(file, bytes, (unsigned long)size);
  free(bytes);
  return r;
}

static int summary(Camera *camera, CameraText *text, GPContext *context) {
  (void)camera, (void)context;
  strcpy(text->text, "Model: Velmira Prueba\nSerial Number: VP-0042\n");
  return GP_OK;
}

static CameraFilesystemFuncs filesystem = {.get_file_func = get_file};

int camera_id(CameraText *id) {
  strcpy(id->text, "velmira-prueba");
  return GP_OK;
}

int camera_abilities(CameraAbilitiesList *list) {
  CameraAbilities a;
  memset(&a, 0, sizeof a);
  strcpy(a.model, "Velmira Prueba");
  a.port = GP_PORT_USB;
  a.usb_vendor = 0xf055;
  a.usb_product = 0x5e1a;
  a.operations = GP_OPERATION_CAPTURE_IMAGE;
  return gp_abilities_list_append(list, a);
}

int camera_init(Camera *camera, GPContext *context) {
  (void)context;
  photos = raw_pending = complete_pending = 0;
  busy = flag("ocupada");
  camera->functions->capture = capture;
  camera->functions->wait_for_event = wait_for_event;
  camera->functions->summary = summary;
  return gp_filesystem_set_funcs(camera->fs, &filesystem, camera);
}
