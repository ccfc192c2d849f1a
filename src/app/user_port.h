#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorix {

/// The line break inside messages.
inline constexpr const char* kCrLf = "\r\n";

/// The application's title, carried by message boxes without a title of their own.
inline constexpr const char* kAppTitle = "Quorix";

enum class MessageIcon { None, Exclamation, Question, Information, Critical };

/// What a file-open dialog is shown with. Filters are "label|pattern|label|pattern".
struct FileDialogRequest {
    std::string filter;
    std::string defaultExtension;
    std::string title;
    std::string initialFile;
    std::string initialDirectory;  ///< where to start when there is no file
    bool save = false;             ///< a file to write (it may not exist yet)
};

/// How a core command speaks to the user. Implemented by each window; tests use a fake.
class UserPort {
public:
    virtual ~UserPort() = default;

    virtual void setStatus(const std::string& text) = 0;
    virtual std::string status() const = 0;
    virtual void beep() = 0;
    /// A Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    /// A message box with an OK button.
    virtual void showMessage(const std::string& text, const std::string& title,
                             MessageIcon icon) = 0;
    /// The chosen file, or nullopt when the dialog was cancelled.
    virtual std::optional<std::string> chooseFile(const FileDialogRequest& request) = 0;
    /// One or more existing files chosen together, in the order the dialog gives them; none
    /// when it was cancelled.
    virtual std::vector<std::string> chooseFiles(const FileDialogRequest& request) {
        auto file = chooseFile(request);
        return file ? std::vector<std::string>{std::move(*file)} : std::vector<std::string>{};
    }
};

}  // namespace quorix
