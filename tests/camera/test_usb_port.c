/* A USB port driver for libgphoto2 (an "iolib", loaded through IOLIBS)
 * with one test camera on it: the library lists the port, asks it for the
 * camera's USB ids and opens it exactly as it does a real USB port, so the
 * program finds the test camera the way it finds a real one.  Files in the
 * folder $VELMIRA_CAMARA_PRUEBA steer it: "ausente" (no camera on the
 * port), "reclamada" (another program holds the device). */
#include <gphoto2/gphoto2-port-info-list.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-port.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "tests/camera/test_camera.h"

/* The head of libgphoto2_port's table of a port driver's operations (its
 * gphoto2-port-library.h, which Debian does not install); the fields after
 * these stay empty. */
typedef struct {
  int (*init)(GPPort *);
  int (*exit)(GPPort *);
  int (*open)(GPPort *);
  int (*close)(GPPort *);
  void *read, *check_int, *write;
  int (*update)(GPPort *);
  void *get_pin, *set_pin, *send_break, *flush;
  int (*find_device)(GPPort *, int, int);
  int (*find_device_by_class)(GPPort *, int, int, int);
  void *rest[16];
} PortOperations;

static int ok(GPPort *port) {
  (void)port;
  return GP_OK;
}

static int port_open(GPPort *port) {
  (void)port;
  if (test_camera_flag("ausente") >= 0) return GP_ERROR_IO_USB_FIND;
  if (test_camera_flag("reclamada") >= 0) return GP_ERROR_IO_USB_CLAIM;
  return GP_OK;
}

static int find_device(GPPort *port, int vendor, int product) {
  (void)port;
  if (test_camera_flag("ausente") >= 0) return GP_ERROR_IO_USB_FIND;
  return vendor == TEST_CAMERA_VENDOR && product == TEST_CAMERA_PRODUCT ? GP_OK : GP_ERROR_IO_USB_FIND;
}

static int find_device_by_class(GPPort *port, int c, int s, int p) {
  (void)port, (void)c, (void)s, (void)p;
  return GP_ERROR_IO_USB_FIND;
}

GPPortType gp_port_library_type(void) { return GP_PORT_USB; }

int gp_port_library_list(GPPortInfoList *list) {
  GPPortInfo info;
  gp_port_info_new(&info);
  gp_port_info_set_type(info, GP_PORT_USB);
  gp_port_info_set_name(info, "Universal Serial Bus");
  gp_port_info_set_path(info, TEST_CAMERA_PORT);
  return gp_port_info_list_append(list, info) < GP_OK ? GP_ERROR : GP_OK;
}

PortOperations *gp_port_library_operations(void) {
  PortOperations *ops = calloc(1, sizeof *ops);
  if (!ops) return NULL;
  ops->init = ok;
  ops->exit = ok;
  ops->open = port_open;
  ops->close = ok;
  ops->update = ok;
  ops->find_device = find_device;
  ops->find_device_by_class = find_device_by_class;
  return ops;
}
