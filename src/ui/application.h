#pragma once

class QApplication;

namespace quorix {

/// Sets up the application: its name, a Japanese font at 9 pt and Qt's Japanese texts.
void setUpApplication(QApplication& app);

}  // namespace quorix
