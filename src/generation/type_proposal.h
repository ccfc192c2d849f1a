#pragma once

#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "xml_analysis/definition_table.h"
#include "xml_analysis/evidence.h"

namespace quorix {

/// A type for a line: its "型" and "桁数" (null when the type takes none).
struct TypeProposal {
    std::string type;
    std::optional<std::string> size;
    bool operator==(const TypeProposal&) const = default;
};

/// The narrowest entry of the database type's vocabulary that holds every value seen;
/// nullopt when nothing was seen (or the database type has no rules).
std::optional<TypeProposal> proposeColumnType(std::string_view dbType, const Evidence& evidence);

/// How a proposal for the whole definition went.
struct ProposalCount {
    int changed = 0;  ///< lines whose type or size now differs
    int kept = 0;     ///< lines left alone because they were edited by hand
    int edited = 0;   ///< lines with a proposal that were edited by hand
    /// Lines made dates whose values are written "YYYY/MM/DD": the load writes them the ISO way.
    std::vector<std::string> slashDateLines;
};

/// What the status line says after proposals: "3行の型を変更しました。…".
std::string proposalReport(const ProposalCount& count);

/// Which lines take a proposal.
enum class ProposalScope { Untouched, All };

/// The lines with a proposal that were edited by hand since the program last typed them.
int handEditedLines(const DefinitionTable& table, std::string_view dbType);

/// Writes the proposals into "型" and "桁数" of every line that makes a column and has values;
/// lines edited by hand only with ProposalScope::All.
ProposalCount applyProposals(DefinitionTable& table, std::string_view dbType, ProposalScope scope);

}  // namespace quorix
