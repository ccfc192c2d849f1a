#pragma once

#include <string>

namespace quorix {

/// The outcome of loading a document: errorCode 0 means success.
struct XmlParseError {
    long errorCode = 0;
    std::string reason;   ///< Japanese for the common errors, libxml2's text otherwise.
    long line = 0;        ///< 1-based; 0 when no line applies (unreadable file).
    std::string srcText;  ///< The offending line of the file, decoded to UTF-8.
};

}  // namespace quorix
