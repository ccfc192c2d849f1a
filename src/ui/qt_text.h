#pragma once

#include <QString>
#include <string>

namespace quorix {

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}
/// A message's CR LF line breaks as Qt shows them.
inline QString display(const std::string& s) {
    return QString::fromStdString(s).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace quorix
