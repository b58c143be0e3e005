#include "app/files_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#if !defined(_WIN32)
#include <unistd.h>
#endif

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
  // The folder the chart's files go to when the program's cannot take them:
  // below XDG_DATA_HOME on Linux, in the user's AppData on Windows.
  QString userFolder() const {
#if defined(_WIN32)
    return QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
#else
    return dir_.path() + '/';
#endif
  }

 private:
  QTemporaryDir dir_;
  QByteArray old_;
  bool had_;
};

TEST(ChartFilesFolder, IsTheProgramFolderWhenItCanBeWritten) {
  UserDataHome home;
  QTemporaryDir program;
  EXPECT_EQ(ChartFilesFolder(program.path()), QDir::toNativeSeparators(program.path()).toStdString());
  EXPECT_TRUE(QDir(home.path()).isEmpty()) << "nothing is made in the user's folder";
}

TEST(ChartFilesFolder, IsTheUsersDataFolderWhenTheProgramFolderCannotBeWritten) {
  UserDataHome home;
  QTemporaryDir program;
  QFile file(program.filePath("not-a-folder"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  QStringList unwritable{program.filePath("missing"), file.fileName()};
#if !defined(_WIN32)  // Windows' folders have no such permission bits
  if (geteuid() != 0) {  // the system's administrator writes anywhere
    ASSERT_TRUE(QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::ExeOwner));
    unwritable << program.path();
  }
#endif
  for (const QString& folder : unwritable) {
    const QString chosen = QString::fromStdString(ChartFilesFolder(folder));
    EXPECT_TRUE(chosen.startsWith(home.userFolder())) << chosen.toStdString();
    EXPECT_TRUE(QFileInfo(chosen).isDir()) << "made when missing";
  }
  QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace kvn
