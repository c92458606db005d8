// Any bytes as a slot file, and the same bytes as texts for the number
// conversions: no crash, no sanitizer report, and what is accepted obeys the
// rules the window relies on.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/cp1252.h"
#include "base/numbers.h"
#include "config/slot_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto check = [](bool ok) {
    if (!ok) std::abort();
  };
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  if (std::optional<velmira::config::SlotValues> slot = velmira::config::readSlot(bytes)) {
    check(slot->velocidad >= 1 && slot->velocidad <= 1000);
    check(slot->tecla >= -1 && slot->tecla <= 6);
    check(slot->modo >= -1 && slot->modo <= 2);
    // What was accepted is written and read back to the same values.
    check(velmira::config::readSlot(velmira::config::writeSlot(*slot)) == slot);
  }

  const std::string text = velmira::cp1252ToUtf8(bytes);
  velmira::leadingNumber(text);
  if (std::optional<double> x = velmira::textToNumber(text)) {
    const std::string shown = velmira::numberToText(*x);
    std::optional<double> back = velmira::textToNumber(shown);
    check(back.has_value());
    check(velmira::numberToText(*back) == shown);
    velmira::toInt16(*x);
    velmira::toInt32(*x);
  }
  velmira::utf8ToCp1252(text);
  return 0;
}
