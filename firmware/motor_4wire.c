/* Four coil outputs, full step with two windings on.  The coils are wired in
 * the order A, B, A', B', so each phase shares one winding with the next one
 * and a-b-c-d-a is one electrical cycle forwards. */
#include "board.h"
#include "motor.h"

static const uint8_t coil_pattern[4] = {
    _BV(PB0) | _BV(PB1), /* a: A  + B  */
    _BV(PB1) | _BV(PB2), /* b: B  + A' */
    _BV(PB2) | _BV(PB3), /* c: A' + B' */
    _BV(PB3) | _BV(PB0), /* d: B' + A  */
};

static bool energised;

void motor_init(void)
{
    COIL_PORT &= (uint8_t)~COIL_MASK;
    COIL_DDR |= COIL_MASK;
    energised = false;
}

void motor_phase(uint8_t phase)
{
    /* One write, so the coils never pass through a mixed pattern. */
    COIL_PORT = (uint8_t)((COIL_PORT & ~COIL_MASK) | coil_pattern[phase & 3]);
    energised = true;
}

void motor_off(void)
{
    COIL_PORT &= (uint8_t)~COIL_MASK;
    energised = false;
}

bool motor_energised(void)
{
    return energised;
}
