/* A STEP/DIR driver.  The host sequences the phases itself, so the letters are
 * turned back into steps: the forward successor of the last letter is one step
 * forwards, the backward successor one step backwards, anything else (the same
 * letter again, a jump of two) is no step but becomes the new reference.
 *
 * The reference survives "p" and the quiet-time switch-off: the host carries
 * its phase on from move to move (a stack run sends "p" after every frame),
 * and forgetting it would lose the first step of every move.  After reset the
 * reference is "d", the phase the host itself starts from; the board resets
 * when the host first opens the port, so the first move is counted in full. */
#include <util/delay.h>

#include "board.h"
#include "motor.h"

#define START_PHASE 3 /* "d" */

/* The slowest common drivers (DRV8825) want 650 ns of DIR setup and 1.9 us of
 * STEP high; both are given with margin. */
#define DIR_SETUP_US 2
#define STEP_HIGH_US 3

static uint8_t last_phase = START_PHASE;
static bool enabled;

void motor_init(void)
{
    /* ENABLE goes high before it becomes an output: the driver stays off. */
    DRIVER_PORT |= _BV(ENABLE_BIT);
    DRIVER_PORT &= (uint8_t)~(_BV(STEP_BIT) | _BV(DIR_BIT));
    DRIVER_DDR |= _BV(ENABLE_BIT) | _BV(STEP_BIT) | _BV(DIR_BIT);
    last_phase = START_PHASE;
    enabled = false;
}

static void step_pulse(bool forwards)
{
    if (forwards)
        DRIVER_PORT |= _BV(DIR_BIT);
    else
        DRIVER_PORT &= (uint8_t)~_BV(DIR_BIT);
    _delay_us(DIR_SETUP_US);
    DRIVER_PORT |= _BV(STEP_BIT);
    _delay_us(STEP_HIGH_US);
    DRIVER_PORT &= (uint8_t)~_BV(STEP_BIT);
}

void motor_phase(uint8_t phase)
{
    phase &= 3;
    DRIVER_PORT &= (uint8_t)~_BV(ENABLE_BIT);
    enabled = true;
    if (phase == ((last_phase + 1) & 3))
        step_pulse(true);
    else if (phase == ((last_phase + 3) & 3))
        step_pulse(false);
    last_phase = phase;
}

void motor_off(void)
{
    DRIVER_PORT |= _BV(ENABLE_BIT);
    enabled = false;
}

bool motor_energised(void)
{
    return enabled;
}
