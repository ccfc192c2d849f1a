#pragma once

#include <string>

namespace quorix {

/// The outcome of loading a document: errorCode 0 means success.
struct XmlParseError {
    long errorCode = 0;
    std::string reason;   ///< Japanese for the common errors, libxml2's text otherwise.
    long line = 0;        ///< 1-based; 0 when no line applies (unreadable file).
    long column = 0;      ///< 1-based characters; 0 when unknown.
    std::string srcText;  ///< A readable piece of the offending line around the column.
};

}  // namespace quorix
