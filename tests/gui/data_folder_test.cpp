// Where the slots are written for the package's layout (the program in
// /usr/bin) and for a folder that belongs to someone else, also when the
// program runs as root and may write anywhere.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include "qt/qt_platform.h"

namespace velmira {
namespace {

bool writable(const std::string& dir) { return access(dir.c_str(), W_OK) == 0; }

TEST(DataFolder, IsNeverASystemFolderEvenForRoot) {
  const std::string user = "/home/u/.local/share";
  EXPECT_EQ(qt::chooseDataDir("/usr/bin", user, writable), user + "/velmira");
  QTemporaryDir own;
  EXPECT_EQ(qt::chooseDataDir(own.path().toStdString(), user, writable), own.path().toStdString());
  // Writable by everyone, owned by someone else.
  QTemporaryDir other;
  chmod(other.path().toUtf8().constData(), 01777);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(other.path().toUtf8().constData(), 65534, 65534), 0);
  }
  const std::string others = geteuid() == 0 ? other.path().toStdString() : "/tmp";
  ASSERT_TRUE(writable(others));
  EXPECT_EQ(qt::chooseDataDir(others, user, writable), user + "/velmira");
}

}  // namespace
}  // namespace velmira
