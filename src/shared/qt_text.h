// Texts between the toolkit and the rest of the program: the program's own
// texts are 8-bit strings in the system code page.
#pragma once

#include <QString>
#include <string>

namespace kvn {

inline QString Q(const std::string& s) { return QString::fromLocal8Bit(s); }
inline std::string S(const QString& s) { return s.toLocal8Bit().toStdString(); }

}  // namespace kvn
