// Files that are not what their name says: a FIFO (opening it for reading
// blocks until a writer comes), a link to /dev/zero (it never ends), a
// folder, a file far larger than any genuine one.  None of them may hang
// the window or swamp its memory.  Each case runs in a child process with a
// time limit, so that a regression fails instead of hanging the test run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "notes/f_notas.h"
#include "tests/support/fake_platform.h"
#include "tests/support/poll.h"

namespace velmira {
namespace {

// Runs `check` in a child; true when it ran to its end (its expectations
// held) within `limitMs`.
bool passesWithin(int limitMs, const std::function<bool()>& check) {
  pid_t pid = fork();
  if (pid == 0) _exit(check() ? 0 : 1);
  int status = 0;
  if (test::pollUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limitMs))
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

enum class Hostile { Fifo, DevZero, Folder, Huge };

// Lays `name` in `dir` as the hostile kind of file.
void lay(const std::string& dir, const std::string& name, Hostile kind, const std::string& line) {
  const std::string path = dir + "/" + name;
  switch (kind) {
    case Hostile::Fifo: ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); break;
    case Hostile::DevZero: ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); break;
    case Hostile::Folder: ASSERT_EQ(mkdir(path.c_str(), 0700), 0); break;
    case Hostile::Huge: {
      std::ofstream out(path, std::ios::binary);
      for (size_t written = 0; written < 8u * 1024 * 1024; written += line.size()) out << line;
      break;
    }
  }
}

struct HostileCase {
  const char* what;
  Hostile kind;
  const char* slotMessage;   // on "Cargar Configuración" of slot 1
  bool notesCut;             // the notes window shows the beginning and says it was cut
};

TEST(HostileFiles, NeitherHangNorSwampTheWindow) {
  const HostileCase cases[] = {
      {"FIFO", Hostile::Fifo, "No existe archivo de configuración 1", false},
      {"link to /dev/zero", Hostile::DevZero, "No existe archivo de configuración 1", false},
      {"folder", Hostile::Folder, "No existe archivo de configuración 1", false},
      {"8 MB", Hostile::Huge, "El archivo de configuración 1 no es válido: no se ha cargado nada.", true},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(passesWithin(10000, [&] {
      test::Rig rig;
      lay(rig.dir(), "configuracion.ini", c.kind, "0,5\r\n1\r\n4\r\n 250 \r\n 2 \r\n 1 \r\n0\r\n");
      lay(rig.dir(), "Notas.txt", c.kind, "Una línea de notas.\r\n");
      Form_Principal& f = rig.form();
      f.CargarC.click();
      bool ok = rig.messages.texts() == std::vector<std::string>{c.slotMessage};
      f.Notas.click();
      const std::string notas = f.notas().L_Notas.caption();
      const std::string cortadas = F_Notas::kNotasCortadas;
      if (c.notesCut) {
        ok = ok && notas.rfind("Una línea de notas.\r\n", 0) == 0 && notas.size() <= F_Notas::kLimiteNotas + 200 &&
             notas.substr(notas.size() - cortadas.size()) == cortadas &&
             notas.find("notas.\r\n" + cortadas) != std::string::npos;  // cut at a line's end
      } else {
        ok = ok && notas == "No se encuentra el archivo de notas \"Notas.txt\" en la carpeta actual.";
      }
      return ok;
    }));
  }
}

TEST(HostileFiles, ReadingGivesAtMostTheLimitAndSaysWhenThereWasMore) {
  test::Rig rig;
  rig.writeFile("a", "12345");
  platform::PosixFiles& files = rig.files;
  struct Case { size_t limit; const char* bytes; bool cut; };
  const Case cases[] = {{10, "12345", false}, {5, "12345", false}, {4, "1234", true}, {0, "", true}};
  for (const Case& c : cases) {
    std::optional<platform::Contents> got = files.read(rig.dir() + "/a", c.limit);
    ASSERT_TRUE(got) << c.limit;
    EXPECT_EQ(got->bytes, c.bytes) << c.limit;
    EXPECT_EQ(got->cut, c.cut) << c.limit;
  }
  EXPECT_FALSE(files.read(rig.dir() + "/missing", 10));
}

}  // namespace
}  // namespace velmira
