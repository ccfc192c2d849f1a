#include "definition_edit/definition_history.h"

namespace quorix {

namespace {

bool sameDefinition(const DefinitionState& a, const DefinitionState& b) {
    return a.lines.sameRecords(b.lines) && a.documentPath == b.documentPath &&
           a.definitionPath == b.definitionPath;
}

}  // namespace

void DefinitionHistory::reset(DefinitionState current) {
    m_undo.clear();
    m_redo.clear();
    m_current = {std::move(current), m_nextId++};
    m_cleanId = m_current.id;
}

bool DefinitionHistory::record(DefinitionState now) {
    if (sameDefinition(now, m_current.state)) {
        m_current.state.lines.position = now.lines.position;
        return false;
    }
    m_undo.push_back(std::move(m_current));
    m_current = {std::move(now), m_nextId++};
    m_redo.clear();
    trim();
    return true;
}

std::optional<DefinitionState> DefinitionHistory::undo() {
    return step(m_undo, m_redo);
}

std::optional<DefinitionState> DefinitionHistory::redo() {
    return step(m_redo, m_undo);
}

std::optional<DefinitionState> DefinitionHistory::step(std::vector<Step>& from,
                                                       std::vector<Step>& to) {
    if (from.empty()) return std::nullopt;
    to.push_back(std::move(m_current));
    m_current = std::move(from.back());
    from.pop_back();
    return m_current.state;
}

void DefinitionHistory::trim() {
    std::size_t lines = m_current.state.lines.records.size();
    for (const Step& s : m_undo) lines += s.state.lines.records.size();
    std::size_t drop = 0;
    while (drop < m_undo.size() && (m_undo.size() - drop > kMaxSteps || lines > kMaxKeptLines)) {
        lines -= m_undo[drop].state.lines.records.size();
        ++drop;
    }
    m_undo.erase(m_undo.begin(), m_undo.begin() + static_cast<std::ptrdiff_t>(drop));
}

}  // namespace quorix
