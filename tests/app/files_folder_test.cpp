#include "app/files_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace kvn {
namespace {

// The user's data folder below a temporary XDG_DATA_HOME, for one test.
class UserDataHome {
 public:
  UserDataHome() : old_(qgetenv("XDG_DATA_HOME")), had_(qEnvironmentVariableIsSet("XDG_DATA_HOME")) {
    qputenv("XDG_DATA_HOME", dir_.path().toLocal8Bit());
  }
  ~UserDataHome() {
    if (had_)
      qputenv("XDG_DATA_HOME", old_);
    else
      qunsetenv("XDG_DATA_HOME");
  }
  UserDataHome(const UserDataHome&) = delete;
  UserDataHome& operator=(const UserDataHome&) = delete;
  QString path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  QByteArray old_;
  bool had_;
};

TEST(ChartFilesFolder, IsTheProgramFolderWhenItCanBeWritten) {
  UserDataHome home;
  QTemporaryDir program;
  EXPECT_EQ(ChartFilesFolder(program.path()), program.path().toStdString());
  EXPECT_TRUE(QDir(home.path()).isEmpty()) << "nothing is made in the user's folder";
}

TEST(ChartFilesFolder, IsTheUsersDataFolderWhenTheProgramFolderCannotBeWritten) {
  UserDataHome home;
  QTemporaryDir program;
  QFile file(program.filePath("not-a-folder"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  QStringList unwritable{program.filePath("missing"), file.fileName()};
  if (geteuid() != 0) {  // the system's administrator writes anywhere
    ASSERT_TRUE(QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::ExeOwner));
    unwritable << program.path();
  }
  for (const QString& folder : unwritable) {
    const QString chosen = QString::fromStdString(ChartFilesFolder(folder));
    EXPECT_TRUE(chosen.startsWith(home.path() + '/')) << chosen.toStdString();
    EXPECT_TRUE(QFileInfo(chosen).isDir()) << "made when missing";
  }
  QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace kvn
