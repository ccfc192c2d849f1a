#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/db/record_set.h"

namespace quorix {

/// A definition as the user sees it: its lines and the files it belongs to.
struct DefinitionState {
    RecordSet::Contents lines;
    std::string documentPath;    ///< the document the lines were made from, or empty
    std::string definitionPath;  ///< the definition file last opened or saved, or empty
};

/// Undo and redo of whole definitions, and whether the definition differs from the one last
/// opened, saved or made from a document.
class DefinitionHistory {
public:
    /// Forgets every step; @p current is the unchanged definition.
    void reset(DefinitionState current);
    /// Takes @p now as a new step when it differs from the last one; false when it does not.
    bool record(DefinitionState now);
    /// The state to show after one step back or forward, or nullopt when there is none.
    std::optional<DefinitionState> undo();
    std::optional<DefinitionState> redo();
    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    /// The current state is the one on disk (opened, saved or made from a document).
    void markClean() { m_cleanId = m_current.id; }
    bool modified() const { return m_current.id != m_cleanId; }
    /// Records the current state without a new step (a save changes the file, not the lines).
    void amendCurrent(DefinitionState now) { m_current.state = std::move(now); }

    /// The oldest steps go when the kept ones hold more lines than this.
    static constexpr std::size_t kMaxKeptLines = 2'000'000;
    static constexpr std::size_t kMaxSteps = 200;

private:
    struct Step {
        DefinitionState state;
        std::uint64_t id = 0;
    };
    void trim();
    /// Moves the current state onto @p to and makes the last of @p from current.
    std::optional<DefinitionState> step(std::vector<Step>& from, std::vector<Step>& to);

    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    Step m_current;
    std::uint64_t m_nextId = 1;
    std::uint64_t m_cleanId = 0;
};

}  // namespace quorix
