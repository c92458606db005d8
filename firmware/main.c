/* Rail controller: receives the host's one-letter commands at 9600,N,8,1 and
 * drives the stepper and the shutter output.  It never transmits.
 *
 * The receive interrupt queues the bytes, a 1 ms tick counts the time since
 * the last command, and the main loop carries the bytes out and otherwise
 * sleeps in idle mode.  A host that dies in the middle of a move leaves the
 * windings energised, or the shutter output high; after 10 s without a
 * command both are switched off, as by "p" and "s".  During a move the host
 * sends a letter at least every second, and it holds the shutter for one. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <util/atomic.h>

#include "commands.h"
#include "motor.h"

#define BAUD_DIVISOR ((F_CPU / 16UL / 9600UL) - 1) /* 103: 9615 baud, +0.16 % */
#define TICK_DIVISOR ((F_CPU / 64UL / 1000UL) - 1)  /* 249: 1 ms at clk/64 */
#define QUIET_LIMIT_MS 10000u

#define RX_SIZE 16 /* a power of two */

static volatile uint8_t rx_buffer[RX_SIZE];
static volatile uint8_t rx_head; /* written by the interrupt */
static volatile uint8_t rx_tail; /* written by the main loop */
static volatile uint16_t quiet_ms;

ISR(USART_RX_vect)
{
    uint8_t status = UCSR0A;
    uint8_t byte = UDR0;
    if (status & _BV(FE0))
        return; /* a broken frame is no command */
    uint8_t next = (uint8_t)((rx_head + 1) & (RX_SIZE - 1));
    if (next == rx_tail)
        return; /* cannot happen at 9600 baud; the byte would be lost anyway */
    rx_buffer[rx_head] = byte;
    rx_head = next;
}

ISR(TIMER1_COMPA_vect)
{
    if (quiet_ms != 0xFFFF)
        quiet_ms++;
}

static void serial_init(void)
{
    UBRR0 = BAUD_DIVISOR;
    UCSR0A = 0;
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00); /* 8 data bits, no parity, 1 stop bit */
    UCSR0B = _BV(RXEN0) | _BV(RXCIE0);  /* receive only */
}

static void tick_init(void)
{
    TCCR1A = 0;
    OCR1A = TICK_DIVISOR;
    TIMSK1 = _BV(OCIE1A);
    TCCR1B = _BV(WGM12) | _BV(CS11) | _BV(CS10); /* CTC, clk/64 */
}

static int16_t take_byte(void)
{
    if (rx_tail == rx_head)
        return -1;
    uint8_t byte = rx_buffer[rx_tail];
    rx_tail = (uint8_t)((rx_tail + 1) & (RX_SIZE - 1));
    return byte;
}

static uint16_t quiet_time(void)
{
    uint16_t ms;
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) { ms = quiet_ms; }
    return ms;
}

static void restart_quiet_time(void)
{
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) { quiet_ms = 0; }
}

/* Sleeps until the next interrupt unless a byte is already waiting; the
 * instruction after sei runs before any interrupt, so none is missed. */
static void idle(void)
{
    cli();
    if (rx_tail == rx_head) {
        sleep_enable();
        sei();
        sleep_cpu();
        sleep_disable();
    }
    sei();
}

int main(void)
{
    commands_init();
    serial_init();
    tick_init();
    set_sleep_mode(SLEEP_MODE_IDLE);
    sei();
    for (;;) {
        int16_t byte = take_byte();
        if (byte >= 0) {
            if (commands_execute((uint8_t)byte))
                restart_quiet_time();
            continue;
        }
        if (quiet_time() >= QUIET_LIMIT_MS) {
            if (motor_energised())
                motor_off();
            /* The host holds the shutter for a second; a camera left
             * exposing in bulb mode, or shooting a burst, is let go. */
            if (shutter_held())
                shutter_release();
        }
        idle();
    }
}
