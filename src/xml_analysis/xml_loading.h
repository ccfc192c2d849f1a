#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/user_port.h"
#include "services/xml/xml_document.h"
#include "xml_analysis/definition_table.h"
#include "xml_analysis/structure_template.h"

namespace quorix {

/// The extension of a chosen file name: everything after its last ".", empty without one.
std::string fileExtension(const std::string& fileName);

/// The status text of a parse error: reason + "行" + line + ": " + source text.
std::string parseErrorText(const XmlParseError& error);

/// Finds the rowset element and its row elements and merges them. On a missing tag, beeps,
/// reports it and returns nullptr.
std::unique_ptr<StructureTemplate> BuildStructureTemplate(const XmlDocument& document,
                                                          const std::string& rowset,
                                                          const std::string& row, UserPort& port);

/// Reads the document at @p path in one streaming pass and merges its rows, as loading it and
/// BuildStructureTemplate do together. On a parse error, a missing tag or a stop by
/// @p progress, beeps (not for a stop), reports it and returns nullptr. With @p attributes,
/// attributes become paths ("@name" below their element); @p attributesLeft, when given,
/// learns how many attribute paths the rows have that were not made.
std::unique_ptr<StructureTemplate> ReadStructureTemplate(const std::string& path,
                                                         const std::string& rowset,
                                                         const std::string& row, UserPort& port,
                                                         const XmlReadProgress& progress = {},
                                                         bool collectEvidence = true,
                                                         bool attributes = false,
                                                         std::size_t* attributesLeft = nullptr);

/// Turns an XML data type name into a column type name.
using XmlTypeMapper = std::function<std::string(const std::string& xmlType)>;

/// A new definition table with one line per template element, in pre-order, cursor on the
/// first line. Typed elements get @p mapType's name, the others @p chooserText. Throws
/// ServiceError when a line does not fit its fields (nothing is cut).
std::unique_ptr<DefinitionTable> FillDefinitionTable(const StructureTemplate& tmpl,
                                                     const XmlTypeMapper& mapType,
                                                     const std::string& indentUnit,
                                                     const std::string& chooserText);

}  // namespace quorix
