#include "base/cp1252.h"

#include <gtest/gtest.h>

namespace velmira {
namespace {

TEST(Cp1252, AccentsAndTheEuroSurviveTheRoundTrip) {
  struct Case { std::string bytes; std::string utf8; };
  const Case cases[] = {{"Configuraci\xF3n", "Configuración"},
                        {"N\xBA Pasos", "Nº Pasos"},
                        {"\x80 \x96 \x85", "€ – …"},
                        {"a\r\nb", "a\r\nb"},
                        {"\xD1" "and\xFA", "Ñandú"}};
  for (const Case& c : cases) {
    EXPECT_EQ(cp1252ToUtf8(c.bytes), c.utf8);
    EXPECT_EQ(utf8ToCp1252(c.utf8), c.bytes);
  }
}

TEST(Cp1252, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(utf8ToCp1252("α→😀"), "???");
  EXPECT_EQ(utf8ToCp1252("\xFF"), "?");  // malformed UTF-8
  EXPECT_EQ(utf8Length("Nº€😀"), 4u);
}

TEST(Cp1252, UnicodeTextIsToldFromWindows1252) {
  EXPECT_TRUE(looksLikeUtf8("Conexión"));
  EXPECT_FALSE(looksLikeUtf8("Conexi\xF3n"));
  EXPECT_FALSE(looksLikeUtf8("plain ascii"));
  EXPECT_FALSE(looksLikeUtf8("\xC3"));  // cut short
}

}  // namespace
}  // namespace velmira
