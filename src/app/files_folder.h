// Where the strip chart keeps Settings.txt and its export files.
#pragma once

#include <QString>
#include <string>

namespace kvn {

// The program's own folder when it can be written (the build folder, an
// unpacked archive). Otherwise, as for a user of a program installed under
// /opt, the user's data folder (Qt's application data location, created when
// missing): both reading and writing go there then. When there is no such
// location either, the program folder is kept and a failed write says so.
std::string ChartFilesFolder(const QString& programFolder);

}  // namespace kvn
