#include "definition_edit/line_edits.h"

#include <array>

#include "services/db/engine/service_error.h"
#include "services/text/text.h"

namespace quorix {

namespace {

// The eight fields a move exchanges, in the order they are read and written.
constexpr std::array<const char*, 8> kCarried = {Field::kGenerate, Field::kLevel,      Field::kKind,
                                                 Field::kTagName,  Field::kColumnName, Field::kType,
                                                 Field::kSize,     Field::kTableName};

using Line = std::array<FieldValue, 8>;

Line readLine(const RecordSet& rs) {
    Line line;
    for (std::size_t i = 0; i < kCarried.size(); ++i) {
        FieldValue v = rs.value(kCarried[i]);
        if (auto* s = std::get_if<std::string>(&v)) *s = trimBlanks(*s);
        line[i] = std::move(v);
    }
    return line;
}

void writeLine(RecordSet& rs, const Line& line) {
    for (std::size_t i = 0; i < kCarried.size(); ++i) rs.setValue(kCarried[i], line[i]);
}

bool hasCurrentLine(const RecordSet& rs) {
    return !rs.bof() && !rs.eof();
}

int levelOf(const RecordSet& rs) {
    const FieldValue v = rs.value(Field::kLevel);
    if (const auto* n = std::get_if<int32_t>(&v)) return *n;
    return 0;
}

// Sets Busy for a scope and restores it on every way out.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : m_busy(busy), m_was(busy) { m_busy = true; }
    ~BusyScope() { m_busy = m_was; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_busy;
    bool m_was;
};

// Appends a new user line and writes its values. The type is the chooser's text as it was
// before the append: the cursor move would otherwise show the new, empty line's type in the
// chooser first. Busy keeps the grid's handlers still meanwhile.
void addUserLine(RecordSet& rs, EditHost& host) {
    const std::string type = host.typeChooserText();
    BusyScope busy(host.busy());
    rs.addNew();
    rs.setValue(Field::kGenerate, std::string());
    rs.setValue(Field::kLevel, 1);
    rs.setValue(Field::kKind, std::string(kNodeKind));
    rs.setValue(Field::kTagName, host.indentUnit() + "-----");
    rs.setValue(Field::kColumnName, std::string());
    rs.setValue(Field::kType, type);
    rs.setValue(Field::kTableName, std::string());
}

// Bubbles the new last line up to position p (1-based).
void bubbleUp(DefinitionTable& table, EditHost& host, int p, bool skipFailures) {
    RecordSet& rs = table.records();
    const int n = rs.recordCount();
    for (int i = p; i <= n - 1; ++i) {
        try {
            rs.movePrevious();
            if (rs.bof()) {
                rs.moveNext();
                continue;
            }
            MoveLineDown(table, host);
            rs.movePrevious();
        } catch (const ServiceError&) {
            if (!skipFailures) throw;
        }
    }
}

}  // namespace

namespace {

// Exchanges the current line's eight carried fields with the line above (or below); the
// cursor follows the moved line. At the first (last) line nothing changes.
void moveLine(DefinitionTable& table, EditHost& host, bool up) {
    RecordSet& rs = table.records();
    auto toward = [&] { up ? rs.movePrevious() : rs.moveNext(); };
    auto back = [&] { up ? rs.moveNext() : rs.movePrevious(); };
    host.port().setStatus({});
    {
        BusyScope busy(host.busy());
        if (!hasCurrentLine(rs)) return;
        const Line moved = readLine(rs);
        const RecordAttachmentPtr movedInfo = rs.attachmentAt(rs.currentRow());
        toward();
        if (up ? rs.bof() : rs.eof()) {
            back();
            return;
        }
        const Line other = readLine(rs);
        const RecordAttachmentPtr otherInfo = rs.attachmentAt(rs.currentRow());
        writeLine(rs, moved);
        rs.setAttachmentAt(rs.currentRow(), movedInfo);
        back();
        writeLine(rs, other);
        rs.setAttachmentAt(rs.currentRow(), otherInfo);
        toward();
    }
    host.PlaceCellEditors();
}

}  // namespace

void MoveLineUp(DefinitionTable& table, EditHost& host) {
    moveLine(table, host, true);
}

void MoveLineDown(DefinitionTable& table, EditHost& host) {
    moveLine(table, host, false);
}

void ShiftLineLeft(DefinitionTable& table, EditHost& host) {
    RecordSet& rs = table.records();
    if (!hasCurrentLine(rs) || rs.isNull(Field::kTagName)) return;
    const std::string& unit = host.indentUnit();
    const std::string s = rs.text(Field::kTagName);
    if (unit.empty() || s.compare(0, unit.size(), unit) != 0) return;
    const std::string t = s.substr(unit.size());
    const bool startsWithUnit = t.compare(0, unit.size(), unit) == 0;
    if (!rs.text(Field::kGenerate).empty()) {
        if (!startsWithUnit) {
            rs.setValue(Field::kTagName, unit + t);
        } else {
            rs.setValue(Field::kTagName, t);
            rs.setValue(Field::kLevel, levelOf(rs) - 1);
        }
    } else if (levelOf(rs) > 1) {
        rs.setValue(Field::kTagName, t);
        rs.setValue(Field::kLevel, levelOf(rs) - 1);
    }
}

void ShiftLineRight(DefinitionTable& table, EditHost& host) {
    RecordSet& rs = table.records();
    if (!hasCurrentLine(rs) || rs.isNull(Field::kTagName)) return;
    try {
        rs.setValue(Field::kTagName, host.indentUnit() + rs.text(Field::kTagName));
    } catch (const ServiceError& e) {
        host.port().beep();
        host.port().setStatus(e.description());
    }
    try {
        rs.setValue(Field::kLevel, levelOf(rs) + 1);
    } catch (const ServiceError&) {
        // Skipped like every failing step of this command.
    }
}

void InsertLine(DefinitionTable& table, EditHost& host) {
    RecordSet& rs = table.records();
    host.port().setStatus({});
    const int p = rs.absolutePosition();
    addUserLine(rs, host);
    if (rs.recordCount() == 0) return;
    rs.moveLast();
    bubbleUp(table, host, p, false);
    host.PlaceCellEditors();
}

void AppendLine(DefinitionTable& table, EditHost& host) {
    RecordSet& rs = table.records();
    host.port().setStatus({});
    int p = 0;
    const int position = rs.absolutePosition();
    p = position > 0 ? position + 1 : position;
    try {
        addUserLine(rs, host);
    } catch (const ServiceError&) {
        p = 0;
    }
    if (rs.recordCount() == 0) return;
    try {
        rs.moveLast();
    } catch (const ServiceError&) {
        p = 0;
    }
    bubbleUp(table, host, p, true);
    host.PlaceCellEditors();
}

void DeleteLine(DefinitionTable& table, EditHost& host) {
    RecordSet& rs = table.records();
    host.port().setStatus({});
    if (rs.bof() || rs.eof()) return;
    if (rs.text(Field::kGenerate).empty()) {
        rs.deleteCurrent();
    } else {
        host.port().setStatus(
            "表の列は削除できません。生成列を「×」に設定すると列は生成されません。");
    }
    if (rs.recordCount() == 0) AppendLine(table, host);
    host.PlaceCellEditors();
}

void ToggleGenerateFlag(DefinitionTable& table, EditHost& host) {
    RecordSet& rs = table.records();
    host.port().setStatus({});
    std::string flag;
    try {
        flag = rs.text(Field::kGenerate);
    } catch (const ServiceError&) {
        flag.clear();
    }
    if (flag.empty()) {
        host.port().setStatus("固定タグは必ず生成されます。生成しない場合は「削除」してください。");
        return;
    }
    const std::string caption = trimBlanks(host.generateCaption());
    if (caption == Flag::kGenerate) {
        rs.setValue(Field::kGenerate, std::string(Flag::kExclude));
        host.setGenerateCaption(Flag::kExclude);
    } else if (caption == Flag::kExclude) {
        rs.setValue(Field::kGenerate, std::string(Flag::kGenerate));
        host.setGenerateCaption(Flag::kGenerate);
    } else if (caption == Flag::kRowTag) {
        host.port().beep();
        host.port().setStatus("固定タグです。");
    }
}

void SetLineType(DefinitionTable& table, EditHost& host) {
    RecordSet& rs = table.records();
    host.port().setStatus({});
    const std::string text = host.typeChooserText();
    if (trimBlanks(text).empty()) return;
    try {
        rs.setValue(Field::kType, text);
    } catch (const ServiceError&) {
        // Skipped silently, like every failing step of this command.
    }
}

}  // namespace quorix
