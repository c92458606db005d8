// Saving and loading the two slots through real files in the program's
// directory, and slot 1 at start-up.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

using Texts = std::vector<std::string>;

const char* const kSlot1 = "configuracion.ini";
const char* const kSlot2 = "configuracion2.ini";

// Everything a slot can change, and what the handlers it raises show.
Texts slotControls(Form_Principal& f) {
  return {f.Text6.text(),
          f.Text5.text(),
          f.Text10.text(),
          std::to_string(f.hscVelocidad.value()),
          f.lblVelocidad.caption(),
          std::to_string(f.Combo1.listIndex()) + " " + f.Combo1.text(),
          std::to_string(f.Disparo.listIndex()) + " " + f.Disparo.text(),
          f.temEsp.text()};
}

// Visible: Label3, Combo1 | EspL, CheckEsp, DLabel, temEsp.
std::string groups(Form_Principal& f) {
  std::string s;
  for (Control* c : std::vector<Control*>{&f.Label3, &f.Combo1, &f.EspL, &f.CheckEsp, &f.DLabel, &f.temEsp})
    s += c->visible() ? '1' : '0';
  return s.substr(0, 2) + "|" + s.substr(2);
}

void setSlotControls(Form_Principal& f, const char* mm, const char* tpf, const char* taf, int speed, int key, int mode,
                     const char* mirror) {
  f.Text6.setText(mm);
  f.Text5.setText(tpf);
  f.Text10.setText(taf);
  f.hscVelocidad.setValue(speed);
  f.Combo1.setListIndex(key);
  f.Disparo.setListIndex(mode);
  f.temEsp.setText(mirror);
}

TEST(ConfigurationSlots, SaveWritesTheExactLinesOfSlot1OverWhatWasThere) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  rig.writeFile(kSlot1, "old old old\r\n");
  f.Text6.setText("0,0125");
  f.Combo1.setListIndex(0);
  f.SalvarC.click();
  EXPECT_EQ(rig.readFile(kSlot1), "0,0125\r\n1\r\n4\r\n 1 \r\n 0 \r\n-1 \r\n0\r\n");
  EXPECT_FALSE(rig.readFile(kSlot2));
  EXPECT_TRUE(rig.messages.shown.empty()) << "a save that worked says nothing";
}

TEST(ConfigurationSlots, BothSlotsRoundTripThroughTheirFiles) {
  struct Case {
    Button Form_Principal::*save;
    Button Form_Principal::*load;
    const char* file;
  };
  const Case cases[] = {{&Form_Principal::SalvarC, &Form_Principal::CargarC, kSlot1},
                        {&Form_Principal::SalvarC2, &Form_Principal::CargarC2, kSlot2}};
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    setSlotControls(f, "0,0125", "2", "10", 250, 4, 1, "3");
    (f.*c.save).click();
    EXPECT_EQ(rig.readFile(c.file), "0,0125\r\n2\r\n10\r\n 250 \r\n 4 \r\n 1 \r\n3\r\n") << c.file;
    Texts saved = slotControls(f);
    setSlotControls(f, "9", "9", "9", 9, 6, 0, "9");
    (f.*c.load).click();
    EXPECT_EQ(slotControls(f), saved) << c.file;
    EXPECT_EQ(f.lblVelocidad.caption(), "250") << c.file;
    EXPECT_EQ(groups(f), "00|1111") << c.file;
    EXPECT_TRUE(rig.messages.shown.empty()) << c.file;
  }
}

TEST(ConfigurationSlots, NoShutterModeSavedLoadsBackAsNoSelection) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  f.hscVelocidad.setValue(1);
  f.Combo1.setListIndex(0);
  f.SalvarC.click();
  f.Disparo.setListIndex(1);  // mirror group shown
  f.Combo1.setListIndex(3);
  f.CargarC.click();
  EXPECT_EQ(f.Disparo.listIndex(), -1);
  EXPECT_EQ(f.Disparo.text(), "");
  EXPECT_EQ(f.Combo1.listIndex(), 0);
  EXPECT_EQ(f.Combo1.text(), "F6");
  EXPECT_EQ(groups(f), "11|0000") << "no mode shows the key group";
}

TEST(ConfigurationSlots, FilesOfOtherWritersLoadAsTheyAre) {
  struct Case { const char* what; std::string bytes; Texts shown; };
  const Case cases[] = {
      {"by hand in Windows-1252", "0,03\r\n3\r\n1\xBA\r\n 700 \r\n 6 \r\n 0 \r\n1,5\r\n",
       {"0,03", "3", "1º", "700", "700", "6 F12", "0 Programa(Tecla)", "1,5"}},
      {"no key: the key shown is cleared", "1\r\n1\r\n4\r\n 1 \r\n-1 \r\n 0 \r\n0\r\n",
       {"1", "1", "4", "1", "1", "-1 ", "0 Programa(Tecla)", "0"}},
  };
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    rig.writeFile(kSlot2, c.bytes);
    f.Combo1.setListIndex(2);
    f.CargarC2.click();
    EXPECT_EQ(slotControls(f), c.shown) << c.what;
    EXPECT_EQ(groups(f), "11|0000") << c.what;
    // Saved again, the same bytes come out.
    f.SalvarC2.click();
    EXPECT_EQ(rig.readFile(kSlot2), c.bytes) << c.what;
  }
}

TEST(ConfigurationSlots, LoadingSetsOnlyTheSevenControls) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  f.Text3.setText("40");
  f.Text7.setText("0,5");
  f.Text8.setText("12,5");
  f.Label17.setCaption("25");
  f.CheckEsp.setValue(0);
  rig.writeFile(kSlot1, "0,03\r\n3\r\n1\r\n 2 \r\n 1 \r\n 1 \r\n2\r\n");
  f.CargarC.click();
  EXPECT_EQ(f.Text3.text(), "40");
  EXPECT_EQ(f.Text7.text(), "0,5");
  EXPECT_EQ(f.Text8.text(), "12,5");
  EXPECT_EQ(f.Label17.caption(), "25");
  EXPECT_EQ(f.CheckEsp.value(), 0);
  EXPECT_TRUE(f.Desplazamiento_Foto.isEmpty());
  EXPECT_TRUE(f.Milimetros_Paso.isEmpty());
}

TEST(ConfigurationSlots, TheSameSpeedDoesNotRewriteTheSpeedLabel) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  f.hscVelocidad.setValue(40);
  f.lblVelocidad.setCaption("marca");  // would be rewritten if the handler ran
  rig.writeFile(kSlot1, "0,02\r\n2\r\n3\r\n 40 \r\n 1 \r\n 0 \r\n1\r\n");
  f.CargarC.click();
  EXPECT_EQ(f.lblVelocidad.caption(), "marca");
}

TEST(ConfigurationSlots, AMissingSlotIsReportedAndNothingChanges) {
  struct Case { Button Form_Principal::*load; const char* message; };
  const Case cases[] = {{&Form_Principal::CargarC, "No existe archivo de configuración 1"},
                        {&Form_Principal::CargarC2, "No existe archivo de configuración 2"}};
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    // The other slot exists, with other values: it is not read instead.
    if (c.load == &Form_Principal::CargarC) f.SalvarC2.click(); else f.SalvarC.click();
    setSlotControls(f, "0,0125", "2", "10", 250, 4, 1, "3");
    Texts before = slotControls(f);
    std::string visible = groups(f);
    (f.*c.load).click();
    EXPECT_EQ(rig.messages.texts(), Texts{c.message});
    EXPECT_EQ(rig.messages.shown.at(0).title, "Velmira");
    EXPECT_EQ(slotControls(f), before);
    EXPECT_EQ(groups(f), visible);
  }
}

TEST(ConfigurationSlots, AnInvalidFileLoadsNothingAndSaysSo) {
  // Every way a file can be refused is the file format's test; here, that
  // a refusal changes nothing in the window.
  struct Case { const char* what; std::string bytes; };
  const Case cases[] = {
      {"empty", ""},
      {"nine lines", "0,5\r\n1\r\n4\r\n 250 \r\n 2 \r\n 1 \r\n0\r\na\r\nb\r\n"},
      {"speed no number", "0,5\r\n1\r\n4\r\nrapido\r\n 2 \r\n 1 \r\n0\r\n"},
  };
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    setSlotControls(f, "0,0125", "3", "9", 40, 5, 0, "2");
    Texts before = slotControls(f);
    std::string visible = groups(f);
    rig.writeFile(kSlot1, c.bytes);
    f.CargarC.click();
    EXPECT_EQ(rig.messages.texts(), Texts{"El archivo de configuración 1 no es válido: no se ha cargado nada."})
        << c.what;
    EXPECT_EQ(slotControls(f), before) << c.what;
    EXPECT_EQ(groups(f), visible) << c.what;
  }
}

TEST(ConfigurationSlots, ASaveThatCannotWriteSaysSoAndCreatesNothing) {
  struct Case { const char* what; bool dirIsAFile; };
  const Case cases[] = {{"program directory missing", false}, {"program directory is a file", true}};
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    std::string dir = rig.dir() + "/programa";
    if (c.dirIsAFile) rig.writeFile("programa", "x");
    rig.process.dir = dir;
    f.SalvarC2.click();
    ASSERT_EQ(rig.messages.texts().size(), 1u) << c.what;
    EXPECT_EQ(rig.messages.texts()[0], "No se pudo guardar la configuración 2: la carpeta " + dir + " no existe")
        << c.what;
    EXPECT_EQ(rig.messages.shown[0].title, "Velmira");
    EXPECT_EQ(std::filesystem::exists(dir + "/" + kSlot2), false) << c.what;
  }
}

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
  rig.writeFile(kSlot1, previous);
  setSlotControls(f, "0,0125", "22", "33", 999, 6, 0, "5");
  {
    FileSizeLimit limit(10);
    f.SalvarC.click();
  }
  EXPECT_EQ(rig.readFile(kSlot1), previous);
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

TEST(ConfigurationSlots, AnInstalledProgramReadsItsShippedFilesAndSavesInTheUsersFolder) {
  // The program's own folder is read-only (a shared install): the slots and
  // the picture live in the user's folder, and what ships beside the program
  // is read from there until the user has a file of that name.
  test::Rig rig;
  const std::string shipped = rig.dir() + "/programa";
  std::filesystem::create_directory(shipped);
  const std::string preset = "0,5\r\n1\r\n4\r\n 250 \r\n 2 \r\n 1 \r\n0\r\n";
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{kSlot1, preset}, {"MiImagen.jpg", "\xFF\xD8\xFF\xE0"}}) {
    std::ofstream out(shipped + "/" + name, std::ios::binary);
    out << bytes;
  }
  rig.process.dir = rig.dir() + "/usuario";
  std::filesystem::create_directory(rig.process.dir);
  rig.process.shipped = shipped;
  rig.start();
  Form_Principal& f = rig.form();
  EXPECT_TRUE(rig.messages.texts().empty()) << rig.messages.texts()[0];
  EXPECT_EQ(f.Image1.picture(), shipped + "/MiImagen.jpg");
  EXPECT_EQ(f.hscVelocidad.value(), 250);
  f.hscVelocidad.setValue(40);
  f.SalvarC.click();
  EXPECT_TRUE(std::filesystem::exists(rig.process.dir + "/" + kSlot1));
  std::ifstream kept(shipped + "/" + kSlot1, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), preset) << "the shipped preset is not touched";
  f.hscVelocidad.setValue(7);
  f.CargarC.click();
  EXPECT_EQ(f.hscVelocidad.value(), 40) << "the user's own slot now comes first";
}

// ---- Start-up ----------------------------------------------------------

TEST(StartupSlot, Slot1IsLoadedOrTheMirrorGroupHiddenAndStartUpGoesOn) {
  const Texts defaults = {"0", "1", "4", "1", "1", "-1 ", "-1 ", "0"};
  struct Case { const char* what; const char* file; Texts boxes; Texts shown; const char* groups; };
  const Case cases[] = {
      {"missing", nullptr, {"No existe archivo de configuración"}, defaults, "11|0000"},
      {"loaded", "0,0125\r\n2\r\n5\r\n 300 \r\n 4 \r\n 1 \r\n3\r\n", {},
       {"0,0125", "2", "5", "300", "300", "4 F10", "1 Disparador", "3"}, "00|1111"},
      {"no mode settles the key group", "0,0125\r\n2\r\n5\r\n 300 \r\n 4 \r\n-1 \r\n3\r\n", {},
       {"0,0125", "2", "5", "300", "300", "4 F10", "-1 ", "3"}, "11|0000"},
      {"not valid", "0,0125\r\n2\r\n5\r\n 3000 \r\n 4 \r\n 1 \r\n3\r\n",
       {"El archivo de configuración 1 no es válido: no se ha cargado nada."}, defaults, "11|0000"},
  };
  for (const Case& c : cases) {
    test::Rig rig;
    if (c.file) rig.writeFile(kSlot1, c.file);
    Texts hidden;
    rig.form().onControlChanged = [&](Control& ctl) {
      if (!ctl.visible()) hidden.push_back(ctl.name());
    };
    ASSERT_TRUE(rig.start()) << c.what;
    Form_Principal& f = rig.form();
    Texts boxes = {"No existe imagen de fondo"};
    boxes.insert(boxes.end(), c.boxes.begin(), c.boxes.end());
    EXPECT_EQ(rig.messages.texts(), boxes) << c.what;
    EXPECT_EQ(slotControls(f), c.shown) << c.what;
    EXPECT_EQ(groups(f), c.groups) << c.what;
    if (!c.file) {
      EXPECT_EQ(hidden, (Texts{"DLabel", "temEsp", "CheckEsp", "EspL"})) << "hidden in this order";
    }
  }
}

}  // namespace
}  // namespace velmira
