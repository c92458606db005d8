/* The test camera shared by its USB port driver and its camera driver. */
#ifndef VELMIRA_TEST_CAMERA_H
#define VELMIRA_TEST_CAMERA_H

#include <stdio.h>
#include <stdlib.h>

#define TEST_CAMERA_MODEL "Velmira Prueba"
#define TEST_CAMERA_PORT "usb:001,042"
#define TEST_CAMERA_VENDOR 0xf055
#define TEST_CAMERA_PRODUCT 0x5e1a

/* The number in the steering file $VELMIRA_CAMARA_PRUEBA/<name>: -1 when
 * there is no such file, 0 when it holds no number. */
static inline int test_camera_flag(const char *name) {
  const char *dir = getenv("VELMIRA_CAMARA_PRUEBA");
  char path[4096];
  int value = 0;
  FILE *f;
  if (!dir) return -1;
  snprintf(path, sizeof path, "%s/%s", dir, name);
  f = fopen(path, "r");
  if (!f) return -1;
  if (fscanf(f, "%d", &value) != 1) value = 0;
  fclose(f);
  return value;
}

#endif
