#include "commands.h"

#include "board.h"
#include "motor.h"

void commands_init(void)
{
    SHUTTER_PORT &= (uint8_t)~_BV(SHUTTER_BIT);
    SHUTTER_DDR |= _BV(SHUTTER_BIT);
    motor_init();
}

bool shutter_held(void)
{
    return (SHUTTER_PORT & _BV(SHUTTER_BIT)) != 0;
}

void shutter_release(void)
{
    SHUTTER_PORT &= (uint8_t)~_BV(SHUTTER_BIT);
}

bool commands_execute(uint8_t byte)
{
    switch (byte) {
    case 'a':
    case 'b':
    case 'c':
    case 'd':
        motor_phase((uint8_t)(byte - 'a'));
        return true;
    case 'p':
        motor_off();
        return true;
    case 'r':
        SHUTTER_PORT |= _BV(SHUTTER_BIT);
        return true;
    case 's':
        shutter_release();
        return true;
    default:
        return false;
    }
}
