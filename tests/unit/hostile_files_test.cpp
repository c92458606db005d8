// A file far larger than any genuine one in the place of slot 1 and the
// notes swamps neither the window nor its memory; reads stop at a limit
// and say whether there was more (a FIFO, /dev/zero and a folder in their
// place: tests/scenarios/startup.scn).
#include <gtest/gtest.h>

#include <fstream>

#include "notes/f_notas.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

TEST(HostileFiles, AnEightMegabyteSlotIsRefusedAndTheNotesAreCutAtALinesEnd) {
  test::Rig rig;
  for (const auto& [name, line] : {std::pair{"configuracion.ini", "0,5\r\n1\r\n4\r\n 250 \r\n 2 \r\n 1 \r\n0\r\n"},
                                   std::pair{"Notas.txt", "Una línea de notas.\r\n"}}) {
    std::ofstream out(rig.dir() + "/" + name, std::ios::binary);
    for (size_t written = 0; written < 8u * 1024 * 1024; written += std::string(line).size()) out << line;
  }
  Form_Principal& f = rig.form();
  f.CargarC.click();
  EXPECT_EQ(rig.boxes(), std::vector<std::string>{"El archivo de configuración 1 no es válido: no se ha cargado nada."});
  f.Notas.click();
  const std::string notas = f.notas().L_Notas.caption(), cortadas = F_Notas::kNotasCortadas;
  EXPECT_EQ(notas.rfind("Una línea de notas.\r\n", 0), 0u);
  EXPECT_LE(notas.size(), F_Notas::kLimiteNotas + 200);
  EXPECT_NE(notas.find("notas.\r\n" + cortadas), std::string::npos);  // cut at a line's end
  EXPECT_EQ(notas.substr(notas.size() - cortadas.size()), cortadas);
}

TEST(HostileFiles, ReadingGivesAtMostTheLimitAndSaysWhenThereWasMore) {
  test::Rig rig;
  rig.writeFile("a", "12345");
  struct Case { size_t limit; const char* bytes; bool cut; };
  const Case cases[] = {{10, "12345", false}, {5, "12345", false}, {4, "1234", true}, {0, "", true}};
  for (const Case& c : cases) {
    std::optional<platform::Contents> got = rig.files.read(rig.dir() + "/a", c.limit);
    ASSERT_TRUE(got) << c.limit;
    EXPECT_EQ(got->bytes, c.bytes) << c.limit;
    EXPECT_EQ(got->cut, c.cut) << c.limit;
  }
  EXPECT_FALSE(rig.files.read(rig.dir() + "/missing", 10));
}

}  // namespace
}  // namespace velmira
