#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/user_port.h"

namespace quorix::test {

/// A UserPort that records what a command says and answers questions from a script.
template <typename Base = UserPort>
class RecordingPort : public Base {
public:
    std::string statusText;
    int beeps = 0;
    std::vector<std::string> messages;   ///< every message box, as "title|text"
    std::vector<std::string> questions;  ///< every question, as "title|text"
    std::deque<bool> answers;            ///< answers to the next questions (Yes when empty)
    std::deque<std::optional<std::string>> files;  ///< file dialog results (cancel when empty)
    std::vector<FileDialogRequest> fileRequests;

    void setStatus(const std::string& text) override { statusText = text; }
    std::string status() const override { return statusText; }
    void beep() override { ++beeps; }
    bool askYesNo(const std::string& text, const std::string& title, MessageIcon) override {
        questions.push_back(title + "|" + text);
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void showMessage(const std::string& text, const std::string& title, MessageIcon) override {
        messages.push_back(title + "|" + text);
    }
    std::optional<std::string> chooseFile(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (files.empty()) return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
    std::vector<std::string> severalFiles;  // chosen together, once, when not empty
    std::vector<std::string> chooseFiles(const FileDialogRequest& request) override {
        if (severalFiles.empty()) return UserPort::chooseFiles(request);
        fileRequests.push_back(request);
        return std::exchange(severalFiles, {});
    }
};

}  // namespace quorix::test
