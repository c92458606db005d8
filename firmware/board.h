/* Pin map of the rail controller on an ATmega328P (Arduino Uno / Nano).
 *
 *   D0  PD0  serial receive (the host's commands, 9600,N,8,1)
 *   D13 PB5  shutter output: high from "r" to "s"
 *
 * 4-wire back end (ULN2003 or L298N board):
 *   D8  PB0  coil A      D9  PB1  coil B
 *   D10 PB2  coil A'     D11 PB3  coil B'
 *
 * STEP/DIR back end (A4988, DRV8825, TMC in step/dir mode):
 *   D2  PD2  STEP (one rising edge per step)
 *   D3  PD3  DIR  (high forwards, low backwards)
 *   D4  PD4  ENABLE, active low: high switches the driver off
 */
#ifndef VELMIRA_FIRMWARE_BOARD_H
#define VELMIRA_FIRMWARE_BOARD_H

#include <avr/io.h>

#define SHUTTER_PORT PORTB
#define SHUTTER_DDR DDRB
#define SHUTTER_BIT PB5

#define COIL_PORT PORTB
#define COIL_DDR DDRB
#define COIL_MASK (_BV(PB0) | _BV(PB1) | _BV(PB2) | _BV(PB3))

#define DRIVER_PORT PORTD
#define DRIVER_DDR DDRD
#define STEP_BIT PD2
#define DIR_BIT PD3
#define ENABLE_BIT PD4

#endif
