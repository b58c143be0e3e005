#include "app/files_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kvn {

std::string ChartFilesFolder(const QString& programFolder) {
  QString folder = programFolder;
  const QFileInfo program(programFolder);
  if (!program.isDir() || !program.isWritable()) {
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!user.isEmpty()) {
      // A folder that cannot be made shows when the first file is written.
      static_cast<void>(QDir().mkpath(user));
      folder = user;
    }
  }
  return QDir::toNativeSeparators(folder).toLocal8Bit().toStdString();
}

}  // namespace kvn
