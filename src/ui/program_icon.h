#pragma once

#include <QIcon>

namespace quorix {

/// The program's icon, drawn: a table whose header is an XML tag.
QIcon programIcon();

}  // namespace quorix
