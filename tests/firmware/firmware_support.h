// The firmware images in simavr, tested as transcripts: tables of lines
// "IMAGE | SENT | SEEN", one case a line ("#" starts a comment).
//
// IMAGE: 4w (the four-coil image), sd (the STEP/DIR one) or both.
// SENT: tokens BYTES[*N][@MS[/GAP]]: the bytes ({others}: every byte that
// is no command; *N repeats them) go on the line at MS (ms since the board
// started), one every GAP ms or else back to back; without @ as soon as
// what came before was handled.  @MS alone lets time run on to MS.  A
// first token ^ shows the board's start-up too (negative times).
// SEEN for the pins: a token an event, TOKEN@MS when its time counts (to
// the digits written: @1 is 0.5 to 1.5 ms); - for none.
//   R S        pin 13, the shutter output, rises / falls
//   on off     ENABLE (D4) goes low / high: the STEP/DIR driver on / off
//   F B        a STEP pulse (D2) with DIR (D3) high / low; F! B! when it
//              breaks the driver's timing: DIR set 1 us before, 2 us high,
//              ENABLE low, DIR steady while STEP is high
//   a b c d p  the coils (D8-D11) take the pattern of that phase / all go
//              off; any other pattern as its bits, D8 first (1100)
//   D1+ D1-    any other pin
//   sent=N     the firmware wrote N bytes to its transmitter
// Tokens may be written X*N for N times X.
// For the simulated rail (rail-4w, rail-sd: velmira-sim --avr, which reads
// the pins back into what the rail did), SENT's bytes are fed 2 ms apart
// from 10 ms and ! is the board's reset; SEEN is each byte's event (the
// names of the rail's log), reset and what the pins did then, ~on / ~off
// for the motor after a reset or where time alone changed the pins (~ where
// it changed nothing), then the tally: pos=P and, where not zero, fwd=
// back= lost= err= shots= holds= (ms), on while the motor is on and open
// while the shutter is.
#pragma once

namespace velmira::firmware::test {

// Plays every line of `table` and checks what it shows.
void checkTranscripts(const char* table);

}  // namespace velmira::firmware::test
