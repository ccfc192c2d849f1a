#pragma once

#include <string>

#include "app/user_port.h"
#include "xml_analysis/definition_table.h"

namespace quorix {

/// What the editing commands need of the main window besides the table.
class EditHost {
public:
    virtual ~EditHost() = default;

    virtual UserPort& port() = 0;
    /// The shared guard: while set, the cell editors are not moved.
    virtual bool& busy() = 0;
    virtual const std::string& indentUnit() const = 0;
    /// The type chooser's current text.
    virtual std::string typeChooserText() const = 0;
    /// The generate button's caption.
    virtual std::string generateCaption() const = 0;
    virtual void setGenerateCaption(const std::string& caption) = 0;
    /// Moves both cell editors over the current line (does nothing while busy).
    virtual void PlaceCellEditors() = 0;
};

}  // namespace quorix
