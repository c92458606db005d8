/* The motor back end: the four-wire coil outputs or a STEP/DIR driver,
 * chosen by the source file that is linked in. */
#ifndef VELMIRA_FIRMWARE_MOTOR_H
#define VELMIRA_FIRMWARE_MOTOR_H

#include <stdbool.h>
#include <stdint.h>

/* Outputs configured, motor off. */
void motor_init(void);

/* Phase state 0..3 for the letters "a".."d"; a..d..a is forwards. */
void motor_phase(uint8_t phase);

/* Every winding off, or the driver disabled. */
void motor_off(void);

/* True while the windings carry current (a phase was set since the last off). */
bool motor_energised(void);

#endif
