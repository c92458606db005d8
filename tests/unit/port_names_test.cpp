// Port names and numbers, and which virtual ports may be listed.
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/port_enumerator.h"
#include "platform/port_registry.h"

namespace velmira::platform {
namespace {

namespace fs = std::filesystem;

TEST(PortNames, ShowManufacturerModelAndDeviceBeforeTheNumber) {
  struct Case { DeviceInfo d; const char* name; };
  const Case cases[] = {
      {{"/dev/ttyACM0", "ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", "2341", "0043", "85734"},
       "Arduino (www.arduino.cc) Arduino Uno (ttyACM0) (COM1)"},
      {{"/dev/ttyUSB0", "ttyUSB0", "USB2.0-Serial", "", "1a86", "7523", ""}, "USB2.0-Serial (ttyUSB0) (COM1)"},
      {{"/dev/ttyS0", "ttyS0", "", "", "", "", ""}, "Puerto serie (ttyS0) (COM1)"},
      {{"/dev/ttyUSB1", "ttyUSB1", "FTDI FT232R", "FTDI", "0403", "6001", "A1"}, "FTDI FT232R (ttyUSB1) (COM1)"}};
  for (const Case& c : cases) EXPECT_EQ(PortRegistry::displayName(c.d, 1), c.name);
}

TEST(PortNumbers, StayWithTheirDeviceForTheWholeRun) {
  PortRegistry r;
  DeviceInfo uno{"/dev/ttyACM0", "ttyACM0", "Arduino Uno", "", "2341", "0043", "85734"};
  DeviceInfo ch340{"/dev/ttyUSB0", "ttyUSB0", "USB2.0-Serial", "", "1a86", "7523", ""};
  EXPECT_EQ(r.numberFor(uno), 1);
  EXPECT_EQ(r.numberFor(ch340), 2);
  EXPECT_EQ(r.numberFor(uno), 1);
  // Unplugged and plugged back in on another path: the serial number tells.
  DeviceInfo unoAgain = uno;
  unoAgain.path = "/dev/ttyACM1";
  unoAgain.systemName = "ttyACM1";
  EXPECT_EQ(r.numberFor(unoAgain), 1);
  EXPECT_EQ(r.deviceFor(1)->path, "/dev/ttyACM1");
  // Without a serial number only the path can tell.
  DeviceInfo ch340Elsewhere = ch340;
  ch340Elsewhere.path = "/dev/ttyUSB3";
  EXPECT_EQ(r.numberFor(ch340Elsewhere), 3);
  EXPECT_EQ(r.numberFor(ch340), 2);
  EXPECT_FALSE(r.deviceFor(9));
}

class VirtualPorts : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "velmira-ports-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    chmod(dir_.c_str(), 0700);
    int slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master_, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    pty_ = name;
  }
  void TearDown() override {
    ::close(master_);
    fs::remove_all(dir_);
  }
  void link(const std::string& target, const std::string& name) { fs::create_symlink(target, dir_ + "/" + name); }
  std::vector<std::string> listed() {
    std::vector<std::string> names;
    for (const DeviceInfo& d : scanVirtualPorts(dir_)) names.push_back(d.description);
    return names;
  }
  std::string dir_, pty_;
  int master_ = -1;
};

TEST_F(VirtualPorts, OnlyLinksToTerminalsAreListed) {
  std::string file = dir_ + "/../velmira-plain-file";
  std::ofstream(file) << "x";
  link(pty_, "sim-ok");
  link("/dev/null", "null");
  link(file, "file");
  link("/dev/does-not-exist", "dangling");
  link("/dev/sda", "disk");
  link("/dev/pts/ptmx", "ptmx");
  link("/dev/ptmx", "ptmx2");
  std::ofstream(dir_ + "/regular") << "x";
  EXPECT_EQ(listed(), (std::vector<std::string>{"sim-ok"}));
  std::vector<DeviceInfo> d = scanVirtualPorts(dir_);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].path, dir_ + "/sim-ok");
  EXPECT_EQ(d[0].systemName, pty_.substr(5));
  fs::remove(file);
}

TEST_F(VirtualPorts, ADirectoryOthersCanWriteToListsNothing) {
  link(pty_, "sim");
  ASSERT_EQ(listed().size(), 1u);
  chmod(dir_.c_str(), 0777);
  EXPECT_TRUE(listed().empty());
  EXPECT_TRUE(scanVirtualPorts(dir_ + "/missing").empty());
}

TEST_F(VirtualPorts, TheEnumerationNamesThemWithANumber) {
  link(pty_, "velmira-sim-1");
  PortRegistry registry;
  DeviceInfo system{"/dev/ttyS0", "ttyS0", "", "", "", "", ""};
  PortEnumerator e(registry, [&] { return std::vector<DeviceInfo>{system}; }, dir_);
  std::vector<std::string> names = e.displayNames();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "Puerto serie (ttyS0) (COM1)");
  EXPECT_EQ(names[1], "velmira-sim-1 (" + pty_.substr(5) + ") (COM2)");
  EXPECT_EQ(e.displayNames(), names);  // a second scan gives the same numbers
  EXPECT_EQ(registry.deviceFor(2)->path, dir_ + "/velmira-sim-1");
}

}  // namespace
}  // namespace velmira::platform
