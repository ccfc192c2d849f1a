#include "generation/type_proposal.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "generation/column_types.h"
#include "generation/type_translation.h"
#include "services/text/text.h"

namespace quorix {

namespace {

bool fitsInt32(const Evidence& e) {
    return *e.minInteger >= std::numeric_limits<int32_t>::min() &&
           *e.maxInteger <= std::numeric_limits<int32_t>::max();
}

// Text of every length: the given type up to the limit, the long one beyond it.
TypeProposal textType(std::size_t length, std::size_t limit, const char* shortType,
                      const char* longType) {
    if (length > limit) return {longType, std::nullopt};
    return {shortType, std::to_string(length == 0 ? 1 : length)};
}

std::optional<std::string> sizeOf(const RecordSet& rs, int row) {
    const FieldValue& v = rs.valueAt(row, rs.fieldIndex(Field::kSize));
    if (const auto* s = std::get_if<std::string>(&v)) return trimBlanks(*s);
    return std::nullopt;
}

}  // namespace

namespace {

long long digitsOf(long long n) {
    long long d = 1;
    for (unsigned long long u = n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
         u >= 10; u /= 10)
        ++d;
    return d;
}

// "p,s" for numbers with up to @p whole digits before the point and @p places after it.
std::string precisionAndScale(long long whole, long long places) {
    return std::to_string(std::max(1LL, whole + places)) + "," + std::to_string(places);
}

}  // namespace

std::optional<TypeProposal> proposeColumnType(std::string_view dbType, const Evidence& e) {
    const long long seen = e.nonEmpty();
    if (seen == 0) return std::nullopt;
    const bool allIntegers = e.integer == seen && !e.leadingZero;
    const bool allNumbers = e.integer + e.decimal == seen && !e.leadingZero;
    const long long dates = e.date + e.dateTime + e.dateTimeTz;
    // Digits before the point, of the integers and the decimals alike; places after it.
    long long whole = e.integerDigits;
    if (e.minInteger) whole = std::max({whole, digitsOf(*e.minInteger), digitsOf(*e.maxInteger)});
    const long long places = e.fractionDigits;
    if (dbType == "access") {
        if (e.allBoolean()) return TypeProposal{"Yes/No型", std::nullopt};
        if (allIntegers && fitsInt32(e)) return TypeProposal{"数値型", std::nullopt};
        if (dates == seen) return TypeProposal{"日付/時刻型", std::nullopt};
        // Four places and fifteen digits before them: currency holds them exactly.
        if (allNumbers && e.decimal > 0 && places <= 4 && whole <= 15)
            return TypeProposal{"通貨型", std::nullopt};
        // The file keeps fifteen digits of a number exactly; more stay text, as written.
        if (allNumbers && whole + places <= 15)
            return TypeProposal{"10進型", precisionAndScale(whole, places)};
        return textType(e.longestBytes, 255, "ﾃｷｽﾄ型", "ﾒﾓ型");
    }
    if (dbType == "postgresql") {
        if (e.allBoolean()) return TypeProposal{"boolean", std::nullopt};
        if (allIntegers) return TypeProposal{fitsInt32(e) ? "integer" : "bigint", std::nullopt};
        if (allNumbers && whole + places <= 1000)
            return TypeProposal{"numeric", precisionAndScale(whole, places)};
        if (allNumbers) return TypeProposal{"numeric", std::nullopt};
        if (e.date == seen) return TypeProposal{"date", std::nullopt};
        if (dates == seen)
            return TypeProposal{e.dateTimeTz > 0 ? "timestamptz" : "timestamp", std::nullopt};
        return textType(e.longestChars, 10485760, "varchar", "text");
    }
    if (dbType == "mysql") {
        if (e.allBoolean()) return TypeProposal{"boolean", std::nullopt};
        if (allIntegers) return TypeProposal{fitsInt32(e) ? "int" : "bigint", std::nullopt};
        if (allNumbers && whole + places <= 65 && places <= 30)
            return TypeProposal{"decimal", precisionAndScale(whole, places)};
        if (allNumbers) return TypeProposal{"double", std::nullopt};
        if (e.date == seen) return TypeProposal{"date", std::nullopt};
        // A time with its zone has no column that keeps the zone: it stays text.
        if (dates == seen && e.dateTimeTz == 0) return TypeProposal{"datetime", std::nullopt};
        // A row holds 65 535 bytes: varchar up to 16 383 characters of four bytes.
        return textType(e.longestChars, 16383, "varchar", "text");
    }
    return std::nullopt;
}

namespace {

// Calls @p visit(row, info, proposal) for every line that makes a column and has a proposal.
template <typename Visit>
void forEachProposal(const DefinitionTable& table, std::string_view dbType, Visit visit) {
    const RecordSet& rs = table.records();
    const int flag = rs.fieldIndex(Field::kGenerate);
    for (int row = 0; row < rs.recordCount(); ++row) {
        const LineInfo* info = lineInfo(rs, row);
        if (!info || !info->evidence) continue;
        const FieldValue& f = rs.valueAt(row, flag);
        const auto* text = std::get_if<std::string>(&f);
        if (!text || trimBlanks(*text) != Flag::kGenerate) continue;
        if (auto proposal = proposeColumnType(dbType, *info->evidence))
            visit(row, *info, *proposal);
    }
}

bool editedByHand(const RecordSet& rs, int row, const LineInfo& info) {
    const FieldValue& t = rs.valueAt(row, rs.fieldIndex(Field::kType));
    const auto* type = std::get_if<std::string>(&t);
    return (type ? trimBlanks(*type) : std::string()) != info.givenType ||
           sizeOf(rs, row) != info.givenSize;
}

}  // namespace

int handEditedLines(const DefinitionTable& table, std::string_view dbType) {
    int n = 0;
    forEachProposal(table, dbType, [&](int row, const LineInfo& info, const TypeProposal&) {
        if (editedByHand(table.records(), row, info)) ++n;
    });
    return n;
}

ProposalCount applyProposals(DefinitionTable& table, std::string_view dbType, ProposalScope scope) {
    ProposalCount count;
    RecordSet& rs = table.records();
    std::vector<std::pair<int, TypeProposal>> changes;
    forEachProposal(table, dbType, [&](int row, const LineInfo& info, const TypeProposal& p) {
        if (editedByHand(rs, row, info)) {
            ++count.edited;
            if (scope == ProposalScope::Untouched) {
                ++count.kept;
                return;
            }
        }
        changes.emplace_back(row, p);
        if (info.evidence->slashDates > 0 && info.evidence->date + info.evidence->dateTime +
                                                     info.evidence->dateTimeTz == info.evidence->nonEmpty()) {
            const FieldValue& t = rs.valueAt(row, rs.fieldIndex(Field::kTagName));
            std::string tag = std::holds_alternative<std::string>(t) ? trimBlanks(std::get<std::string>(t)) : "";
            while (tag.starts_with("･")) tag.erase(0, std::string_view("･").size());
            count.slashDateLines.push_back(tag);
        }
    });
    const int type = rs.fieldIndex(Field::kType);
    const int size = rs.fieldIndex(Field::kSize);
    for (const auto& [row, p] : changes) {
        const FieldValue& t = rs.valueAt(row, type);
        const auto* current = std::get_if<std::string>(&t);
        const bool differs =
            (current ? trimBlanks(*current) : std::string()) != p.type || sizeOf(rs, row) != p.size;
        rs.setValueAt(row, type, p.type);
        rs.setValueAt(row, size, p.size ? FieldValue(*p.size) : FieldValue());
        // The program typed these: a later hand edit shows against them.
        auto info = std::make_shared<LineInfo>(*lineInfo(rs, row));
        info->givenType = p.type;
        info->givenSize = p.size;
        rs.setAttachmentAt(row, std::move(info));
        if (differs) ++count.changed;
    }
    // Lines without values keep no type of another vocabulary: they become its text type.
    const auto names = typeNamesFor(dbType);
    const std::string text = translatedType(dbType, "ﾃｷｽﾄ型");
    const int flag = rs.fieldIndex(Field::kGenerate);
    for (int row = 0; row < rs.recordCount() && !text.empty(); ++row) {
        const FieldValue& f = rs.valueAt(row, flag);
        const auto* generate = std::get_if<std::string>(&f);
        if (!generate || trimBlanks(*generate) != Flag::kGenerate) continue;
        const LineInfo* info = lineInfo(rs, row);
        if (info && info->evidence && proposeColumnType(dbType, *info->evidence)) continue;
        const FieldValue& t = rs.valueAt(row, type);
        const auto* current = std::get_if<std::string>(&t);
        const std::string name = current ? trimBlanks(*current) : std::string();
        if (std::find(names.begin(), names.end(), name) != names.end()) continue;
        rs.setValueAt(row, type, text);
        rs.setValueAt(row, size, FieldValue());
        ++count.changed;
    }
    return count;
}

std::string proposalReport(const ProposalCount& count) {
    std::string status = std::to_string(count.changed) + "行の型を変更しました。";
    if (count.kept > 0)
        status += "（手で変更された" + std::to_string(count.kept) + "行はそのままです。）";
    if (!count.slashDateLines.empty()) {
        std::string names;
        for (const auto& n : count.slashDateLines) names += "「" + n + "」";
        status += names + "の「2026/11/02」の形の日付は、「2026-11-02」の形で取り込みます。";
    }
    return status;
}

}  // namespace quorix
