#include "sim/avr_board.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <avr_extint.h>
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_hex.h>
}

namespace velmira::firmware {

namespace {

constexpr double kCyclesPerUs = AvrBoard::kFrequency / 1'000'000.0;
constexpr double kByteCycles = AvrBoard::kByteUs * kCyclesPerUs;
constexpr char kPorts[] = {'B', 'C', 'D'};

// The simulator reports what it loads and every unhandled register on the
// console; only its errors are worth showing.
void quietLogger(avr_t*, const int level, const char* format, va_list ap) {
  if (level <= LOG_ERROR) std::vfprintf(stderr, format, ap);
}

// The simulator's idle callback sleeps in real time; here simulated time
// simply jumps to the next event.
void noRealTimeSleep(avr_t*, avr_cycle_count_t) {}

bool isElf(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char magic[4] = {};
  const bool elf = std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
  std::fclose(f);
  return elf;
}

void freeFirmware(elf_firmware_t& fw) {
  std::free(fw.flash);
  std::free(fw.eeprom);
#if ELF_SYMBOLS
  for (uint32_t i = 0; i < fw.symbolcount; ++i) std::free(fw.symbol[i]);
  std::free(fw.symbol);
#endif
}

}  // namespace

// The simulator frees neither its signal tables nor their listeners when a
// chip is terminated; the leak checker of sanitized builds is told so.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libsimavr\n";
}

AvrBoard::AvrBoard(const std::string& imagePath) {
  avr_global_logger_set(quietLogger);
  const bool elf = isElf(imagePath);
  elf_firmware_t fw;
  std::memset(&fw, 0, sizeof fw);
  ihex_chunk_p chunks = nullptr;
  int chunkCount = 0;
  if (elf ? elf_read_firmware(imagePath.c_str(), &fw) != 0
          : (chunkCount = read_ihex_chunks(imagePath.c_str(), &chunks)) <= 0) {
    if (chunks) free_ihex_chunks(chunks);
    throw std::runtime_error("No se puede leer el firmware " + imagePath +
                             " (se espera un fichero ELF o Intel HEX para ATmega328P)");
  }
  avr_ = avr_make_mcu_by_name("atmega328p");
  if (!avr_) {
    freeFirmware(fw);
    if (chunks) free_ihex_chunks(chunks);
    throw std::runtime_error("El simulador AVR no conoce el ATmega328P");
  }
  avr_init(avr_);
  if (elf) {
    std::strncpy(fw.mmcu, "atmega328p", sizeof fw.mmcu - 1);
    fw.frequency = kFrequency;
    avr_load_firmware(avr_, &fw);
    freeFirmware(fw);
  } else {
    // The flash image; a HEX file for the programmer carries nothing else.
    for (int i = 0; i < chunkCount; ++i)
      if (chunks[i].baseaddr + chunks[i].size <= avr_->flashend + 1u)
        avr_loadcode(avr_, chunks[i].data, chunks[i].size, chunks[i].baseaddr);
    free_ihex_chunks(chunks);
  }
  avr_->frequency = kFrequency;
  avr_->log = LOG_ERROR;
  avr_->sleep = noRealTimeSleep;

  uartIn_ = avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
  avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                          byteOut, this);

  hooks_.reserve(8 * std::size(kPorts));
  for (char port : kPorts) hookPins(port);
  boot();
}

// What a reset undoes is set again before the firmware starts.
void AvrBoard::boot() {
  // By default the simulator polls INT0/INT1 every few cycles while their
  // pins (D2, D3) are low, even with the interrupts off, and so never lets
  // the chip sleep.
  avr_extint_set_strict_lvl_trig(avr_, 0, 0);
  avr_extint_set_strict_lvl_trig(avr_, 1, 0);
  uint32_t flags = 0;
  avr_ioctl(avr_, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
  flags &= ~uint32_t(AVR_UART_FLAG_POLL_SLEEP | AVR_UART_FLAG_STDIO);
  avr_ioctl(avr_, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
  runMs(1.0);
  matchReceiverToTheLine();
}

void AvrBoard::reset() {
  const avr_cycle_count_t before = avr_->cycle;
  avr_reset(avr_);
  if (avr_->cycle < before) avr_->cycle = before;  // time goes on through a reset
  queue_.clear();
  feeding_ = false;
  lineFreeAt_ = double(avr_->cycle);
  // The pins float while the chip restarts: everything the firmware drove
  // is an input again, and reads as low.
  for (int i = 0; i < int(std::size(kPorts)); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      const uint8_t mask = uint8_t(1u << bit);
      if (!(levels_[i] & mask)) continue;
      levels_[i] = uint8_t(levels_[i] & ~mask);
      PinChange change{nowUs(), kPorts[i], bit, false};
      changes_.push_back(change);
      if (onPinChange) onPinChange(change);
    }
  }
  boot();
}

bool AvrBoard::isOutput(char port, int bit) const {
  avr_ioport_state_t state {};
  if (avr_ioctl(avr_, AVR_IOCTL_IOPORT_GETSTATE(port), &state) != 0) return false;
  return (state.ddr >> bit) & 1u;
}

// The simulated receiver takes eleven bit times per byte; a real one takes
// the ten of a start bit, eight data bits and a stop bit, at the baud rate
// the firmware set.
void AvrBoard::matchReceiverToTheLine() {
  for (avr_io_t* io = avr_->io_port; io; io = io->next) {
    if (io->irq_ioctl_get != AVR_IOCTL_UART_GETIRQ('0')) continue;
    auto* uart = reinterpret_cast<avr_uart_t*>(io);
    const unsigned divisor = avr_->data[uart->ubrrl.reg] | (avr_->data[uart->ubrrh.reg] & 0x0F) << 8;
    const unsigned perBit = avr_regbit_get(avr_, uart->u2x) ? 8 : 16;
    uart->cycles_per_byte = 10ull * perBit * (divisor + 1);
  }
}

AvrBoard::~AvrBoard() {
  if (!avr_) return;
  avr_terminate(avr_);
  std::free(avr_);
}

void AvrBoard::hookPins(char port) {
  for (int bit = 0; bit < 8; ++bit) {
    hooks_.push_back({this, port, bit});
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_IOPORT_GETIRQ(port), bit), pinChanged,
                            &hooks_.back());
  }
}

int AvrBoard::portIndex(char port) {
  for (int i = 0; i < int(std::size(kPorts)); ++i)
    if (kPorts[i] == port) return i;
  throw std::invalid_argument(std::string("no port ") + port);
}

void AvrBoard::pinChanged(avr_irq_t*, uint32_t value, void* param) {
  auto* hook = static_cast<PinHook*>(param);
  AvrBoard& b = *hook->board;
  uint8_t& levels = b.levels_[portIndex(hook->port)];
  const uint8_t mask = uint8_t(1u << hook->bit);
  const bool high = value != 0;
  if (bool(levels & mask) == high) return;
  levels = high ? uint8_t(levels | mask) : uint8_t(levels & ~mask);
  PinChange change{b.nowUs(), hook->port, hook->bit, high};
  b.changes_.push_back(change);
  if (b.onPinChange) b.onPinChange(change);
}

void AvrBoard::byteOut(avr_irq_t*, uint32_t, void* param) {
  ++static_cast<AvrBoard*>(param)->transmitted_;
}

void AvrBoard::send(std::string_view bytes) {
  for (char c : bytes) queue_.push_back(uint8_t(c));
  if (feeding_ || queue_.empty()) return;
  feeding_ = true;
  const double now = double(avr_->cycle);
  const double start = std::max(now, lineFreeAt_);
  avr_cycle_timer_register(avr_, avr_cycle_count_t(std::llround(start - now)), feedNext, this);
}

// A byte goes into the receiver at the start of its frame; the simulated
// receiver flags it complete one frame time later.
uint64_t AvrBoard::feedNext(avr_t* avr, uint64_t, void* param) {
  auto* b = static_cast<AvrBoard*>(param);
  const uint8_t byte = b->queue_.front();
  b->queue_.pop_front();
  const double started = std::max(double(avr->cycle), b->lineFreeAt_);
  b->lineFreeAt_ = started + kByteCycles;
  avr_raise_irq(b->uartIn_, byte);
  if (b->queue_.empty()) {
    b->feeding_ = false;
  } else {
    const double wait = b->lineFreeAt_ - double(avr->cycle);
    avr_cycle_timer_register(avr, avr_cycle_count_t(std::llround(std::max(wait, 1.0))), feedNext,
                             b);
  }
  return 0;
}

uint64_t AvrBoard::stopHere(avr_t*, uint64_t, void*) { return 0; }

void AvrBoard::runCycles(uint64_t cycles) {
  const avr_cycle_count_t target = avr_->cycle + cycles;
  // A timer at the target ends an idle sleep exactly there.
  avr_cycle_timer_register(avr_, cycles, stopHere, this);
  while (avr_->cycle < target) {
    const int state = avr_run(avr_);
    if (state == cpu_Done || state == cpu_Crashed)
      throw std::runtime_error("the firmware stopped (state " + std::to_string(state) + ")");
  }
  avr_cycle_timer_cancel(avr_, stopHere, this);
}

void AvrBoard::runUs(double us) {
  if (us > 0) runCycles(uint64_t(std::llround(us * kCyclesPerUs)));
}

void AvrBoard::runMs(double ms) { runUs(ms * 1000.0); }

void AvrBoard::runUntilSent(double afterUs) {
  // Everything queued is on the line back to back; the last frame ends at
  // the start of the first pending byte plus one frame per byte.
  const double now = double(avr_->cycle);
  const double firstStart = std::max(now, lineFreeAt_);
  const double end = feeding_ || !queue_.empty()
                         ? firstStart + double(queue_.size()) * kByteCycles
                         : lineFreeAt_;
  const double untilUs = (std::max(end, now) - now) / kCyclesPerUs + afterUs;
  runUs(untilUs);
}

void AvrBoard::runUntilAsleep(double maxUs) {
  const double limit = nowUs() + maxUs;
  while (avr_->state != cpu_Sleeping && nowUs() < limit) runCycles(8);
}

double AvrBoard::nowUs() const { return double(avr_->cycle) / kCyclesPerUs; }

bool AvrBoard::pin(char port, int bit) const {
  return (levels_[portIndex(port)] >> bit) & 1u;
}

unsigned AvrBoard::nibble(char port, int firstBit) const {
  return (levels_[portIndex(port)] >> firstBit) & 0x0Fu;
}

std::vector<PinChange> AvrBoard::changesOf(char port, int bit) const {
  std::vector<PinChange> out;
  for (const PinChange& c : changes_)
    if (c.port == port && c.bit == bit) out.push_back(c);
  return out;
}

}  // namespace velmira::firmware
