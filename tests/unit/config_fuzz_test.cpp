// Bounded random inputs (fixed seeds) for the slot reader, the number
// conversions and the stack handlers: nothing may crash, and what comes out
// keeps its invariants.  Run under the sanitizers by the test script.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "base/numbers.h"
#include "config/slot_file.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

// Text from an alphabet that hits the interesting paths often.
// With `lineBreaks` false the text holds neither CR nor LF.
std::string randomText(std::mt19937& rng, size_t maxLength, bool lineBreaks = true) {
  static const char kAlphabet[] = "0123456789,,--  \t\r\n\nEe.+x\x80\xBA\xFF";
  std::uniform_int_distribution<size_t> length(0, maxLength);
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::string s;
  for (size_t n = length(rng); s.size() < n;) {
    char c = rng() % 8 == 0 ? static_cast<char>(anyByte(rng)) : kAlphabet[pick(rng)];
    if (lineBreaks || (c != '\r' && c != '\n')) s += c;
  }
  return s;
}

// An integer line near its control's range, in the forms other writers use.
std::string randomInteger(std::mt19937& rng, int min, int max) {
  int value = min - 1 + static_cast<int>(rng() % static_cast<unsigned>(max - min + 3));
  std::string s = std::to_string(value);
  if (rng() % 4 == 0) s += ",5";
  if (rng() % 2) s = " " + s + " ";
  return s;
}

TEST(RandomInputs, TheSlotReaderNeverAcceptsWhatItCannotWriteBack) {
  std::mt19937 rng(20240611);
  int accepted = 0;
  for (int i = 0; i < 6000; ++i) {
    std::string bytes;
    if (i % 2 == 0) {
      bytes = randomText(rng, 120);
    } else {
      // Seven lines with integer-looking lines 4 to 6, so that many load.
      const std::string lines[7] = {randomText(rng, 8, false),     randomText(rng, 8, false),
                                    randomText(rng, 8, false),     randomInteger(rng, 1, 1000),
                                    randomInteger(rng, -1, 6),     randomInteger(rng, -1, 1),
                                    randomText(rng, 8, false)};
      for (const std::string& line : lines) bytes += line + (rng() % 3 ? "\r\n" : "\n");
    }
    std::optional<config::SlotValues> v = config::readSlot(bytes);
    if (!v) continue;
    ++accepted;
    ASSERT_GE(v->velocidad, 1);
    ASSERT_LE(v->velocidad, 1000);
    ASSERT_GE(v->tecla, -1);
    ASSERT_LE(v->tecla, 6);
    ASSERT_GE(v->modo, -1);
    ASSERT_LE(v->modo, 1);
    for (const std::string* t : {&v->milimetros, &v->tpf, &v->taf, &v->espejo})
      ASSERT_EQ(t->find('\n'), std::string::npos);
    std::optional<config::SlotValues> again = config::readSlot(config::writeSlot(*v));
    ASSERT_TRUE(again) << "input " << i;
    ASSERT_EQ(*again, *v) << "input " << i;
  }
  EXPECT_GT(accepted, 500) << "the generator must reach the accepting path";
}

TEST(RandomInputs, NumbersWrittenAsTextReadBackToFifteenDigits) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  for (int i = 0; i < 20000; ++i) {
    double x;
    if (i % 2 == 0) {
      uint64_t bits = rng();
      std::memcpy(&x, &bits, sizeof x);
      if (!std::isfinite(x)) continue;
    } else {
      x = mantissa(rng) * std::pow(10.0, exponent(rng));
    }
    const std::string text = numberToText(x);
    ASSERT_EQ(text.find('.'), std::string::npos) << text;
    std::optional<double> back = textToNumber(text);
    ASSERT_TRUE(back) << text;
    // 15 significant digits: within half a unit of the 15th digit.
    ASSERT_LE(std::fabs(*back - x), std::fabs(x) * 5.1e-15) << text;
    ASSERT_EQ(numberToText(*back), text);
  }
}

TEST(RandomInputs, TextConversionsAndRoundingNeverMisbehave) {
  std::mt19937 rng(99);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = randomText(rng, 24);
    std::optional<double> x = textToNumber(text);
    if (x) {
      ASSERT_TRUE(std::isfinite(*x)) << text;
    }
    ASSERT_TRUE(std::isfinite(leadingNumber(text))) << text;
    const double d = x ? *x * 1e3 : static_cast<double>(static_cast<int32_t>(rng())) * 1.5;
    std::optional<int16_t> n16 = toInt16(d);
    std::optional<int32_t> n32 = toInt32(d);
    if (n16) {
      ASSERT_LE(std::fabs(*n16 - d), 0.5) << d;
    }
    if (n32) {
      ASSERT_LE(std::fabs(*n32 - d), 0.5) << d;
    }
    // Halves go to the even neighbour: 32767,5 is out of range, -32768,5 in.
    ASSERT_EQ(n16.has_value(), d < 32767.5 && d >= -32768.5) << d;
    ASSERT_EQ(n32.has_value(), d < 2147483647.5 && d >= -2147483648.5) << d;
  }
}

// Pasted texts in the stack fields, then Enter or the overlap button: the
// handlers never fail, the recommendation stays a whole number, and every
// field they write holds a number again.
TEST(RandomInputs, TheStackHandlersSurvivePastedTexts) {
  std::mt19937 rng(31337);
  test::Rig rig;
  Form_Principal& f = rig.form();
  TextBox* const fields[] = {&f.Text3, &f.Text6, &f.Text7, &f.Text8, &f.Text4};
  static const char* const kValues[] = {"", "0", "00", "0,0", ",", "1,,2", "40", "0,0125", "25", "1E300", "-3",
                                        "0,0001", "999999", "abc", " 7 ", "1E-300"};
  for (int i = 0; i < 4000; ++i) {
    for (TextBox* t : fields)
      if (rng() % 2) t->setText(rng() % 4 ? kValues[rng() % std::size(kValues)] : randomText(rng, 7));
    const std::string before[3] = {f.Text3.text(), f.Text7.text(), f.Text8.text()};
    const int action = static_cast<int>(rng() % 6);
    if (action == 5) f.C20.click();
    else f.keyPress(*fields[action], 13);
    const std::string& rec = f.Label17.caption();
    if (!rec.empty()) {
      ASSERT_EQ(intToText(f.Fotos_Recomendadas), rec);
    }
    const TextBox* written[3] = {&f.Text3, &f.Text7, &f.Text8};
    for (int k = 0; k < 3; ++k) {
      if (written[k]->text() != before[k]) {
        ASSERT_TRUE(textToNumber(written[k]->text())) << written[k]->text();
      }
    }
  }
}

}  // namespace
}  // namespace velmira
