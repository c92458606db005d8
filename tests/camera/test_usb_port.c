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

/* libgphoto2_port's table of a port driver's operations (its
 * gphoto2-port-library.h, which Debian does not install). */
typedef struct {
  int (*init)(GPPort *);
  int (*exit)(GPPort *);
  int (*open)(GPPort *);
  int (*close)(GPPort *);
  int (*read)(GPPort *, char *, int);
  int (*check_int)(GPPort *, char *, int, int);
  int (*write)(GPPort *, const char *, int);
  int (*update)(GPPort *);
  int (*get_pin)(GPPort *, GPPin, GPLevel *);
  int (*set_pin)(GPPort *, GPPin, GPLevel);
  int (*send_break)(GPPort *, int);
  int (*flush)(GPPort *, int);
  int (*find_device)(GPPort *, int, int);
  int (*find_device_by_class)(GPPort *, int, int, int);
  int (*clear_halt)(GPPort *, int);
  int (*msg_write)(GPPort *, int, int, int, char *, int);
  int (*msg_read)(GPPort *, int, int, int, char *, int);
  int (*msg_interface_write)(GPPort *, int, int, int, char *, int);
  int (*msg_interface_read)(GPPort *, int, int, int, char *, int);
  int (*msg_class_write)(GPPort *, int, int, int, char *, int);
  int (*msg_class_read)(GPPort *, int, int, int, char *, int);
  int (*seek)(GPPort *, int, int);
  int (*send_scsi_cmd)(GPPort *, int, char *, int, char *, int, char *, int);
  int (*reset)(GPPort *);
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
