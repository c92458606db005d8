/* The host's one-letter commands. */
#ifndef VELMIRA_FIRMWARE_COMMANDS_H
#define VELMIRA_FIRMWARE_COMMANDS_H

#include <stdbool.h>
#include <stdint.h>

/* Outputs configured: motor off, shutter output low. */
void commands_init(void);

/* Carries out one received byte: "a".."d" phase, "p" motor off, "r" shutter
 * output high, "s" low.  Returns false, having done nothing, for any other
 * byte. */
bool commands_execute(uint8_t byte);

/* Whether the shutter output is high, and lowering it as "s" does. */
bool shutter_held(void);
void shutter_release(void);

#endif
