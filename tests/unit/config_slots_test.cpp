// A save that fails on the disk keeps the previous slot file, and says
// why in Spanish (the slots' behaviour in the window: tests/scenarios/slots.scn).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

// Files may grow to a few bytes only, as on a full disk; writes past that
// fail instead of raising the signal.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int);
};

TEST(ConfigurationSlots, ASaveThatFailsHalfWayKeepsThePreviousFile) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  const std::string previous = "0,5\r\n1\r\n4\r\n 9 \r\n 2 \r\n 1 \r\n0\r\n";
  rig.writeFile("configuracion.ini", previous);
  f.Text5.setText("22");
  {
    FileSizeLimit limit(10);
    f.SalvarC.click();
  }
  EXPECT_EQ(rig.readFile("configuracion.ini"), previous);
  ASSERT_EQ(rig.messages.texts().size(), 1u);
  EXPECT_EQ(rig.messages.texts()[0], "No se pudo guardar la configuración 1: no queda espacio en el disco");
  // Nothing half-written is left beside it.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(rig.dir())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(ConfigurationSlots, TheCausesOfAFailedSaveAreSaidInSpanish) {
  struct Case { int err; const char* cause; };
  const Case cases[] = {{ENOSPC, "no queda espacio en el disco"},
                        {EDQUOT, "no queda espacio en el disco"},
                        {EACCES, "no tiene permiso para escribir en la carpeta /p"},
                        {EPERM, "no tiene permiso para escribir en la carpeta /p"},
                        {EROFS, "la carpeta /p está en un disco de solo lectura"},
                        {EISDIR, "hay una carpeta con el nombre del archivo en /p"},
                        {ENOENT, "la carpeta /p no existe"},
                        {EIO, "error de entrada/salida del disco"}};
  for (const Case& c : cases) EXPECT_EQ(platform::writeFailureCause(c.err, "/p"), c.cause) << c.err;
}

}  // namespace
}  // namespace velmira
