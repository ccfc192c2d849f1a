#pragma once

#include <optional>
#include <string>

#include "app/user_port.h"

/// A port that answers yes and keeps the last status, for benchmarks run without a window.
class QuietPort : public quorix::UserPort {
public:
    void setStatus(const std::string& text) override { m_status = text; }
    std::string status() const override { return m_status; }
    void beep() override {}
    bool askYesNo(const std::string&, const std::string&, quorix::MessageIcon) override {
        return true;
    }
    void showMessage(const std::string&, const std::string&, quorix::MessageIcon) override {}
    std::optional<std::string> chooseFile(const quorix::FileDialogRequest&) override { return {}; }

private:
    std::string m_status;
};
