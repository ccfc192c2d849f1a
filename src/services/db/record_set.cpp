#include "services/db/record_set.h"

#include <algorithm>
#include <charconv>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/text/text.h"

namespace quorix {

namespace {

[[noreturn]] void noCurrentRecord() {
    throw ServiceError(ErrorNumber::kNoCurrentRecord, "現在の行がありません。");
}

}  // namespace

void RecordSet::appendField(const std::string& name, int32_t type, int32_t definedSize,
                            int32_t attributes) {
    if (m_open) throw ServiceError(ErrorNumber::kGeneral, "開いている表には列を追加できません。");
    if (type != adChar && type != adInteger)
        throw ServiceError(
            ErrorNumber::kBadColumn,
            "列「" + name + "」の型 " + std::to_string(type) + " は使用できません。");
    if (fieldIndex(name) >= 0)
        throw ServiceError(ErrorNumber::kBadColumn, "列「" + name + "」は既にあります。");
    m_fields.push_back({name, type, definedSize, attributes});
}

void RecordSet::open() {
    if (m_observer) m_observer->recordSetAboutToReset();
    m_open = true;
    ++m_revision;
    m_records.clear();
    m_attachments.clear();
    m_pos = -1;
    if (m_observer) m_observer->recordSetReset();
}

void RecordSet::close() {
    if (m_observer) m_observer->recordSetAboutToReset();
    m_open = false;
    ++m_revision;
    m_records.clear();
    m_attachments.clear();
    m_pos = -1;
    if (m_observer) m_observer->recordSetReset();
}

void RecordSet::addNew() {
    if (!m_open) throw ServiceError(ErrorNumber::kNotOpen, "表が開いていません。");
    const int row = recordCount();
    if (m_observer) m_observer->recordAboutToBeAppended(row);
    m_records.emplace_back(m_fields.size());
    m_attachments.emplace_back();
    ++m_revision;
    if (m_observer) m_observer->recordAppended(row);
    setPosition(row);
}

void RecordSet::deleteCurrent() {
    const int row = requireCurrent();
    if (m_observer) m_observer->recordAboutToBeRemoved(row);
    m_records.erase(m_records.begin() + row);
    m_attachments.erase(m_attachments.begin() + row);
    ++m_revision;
    if (m_observer) m_observer->recordRemoved(row);
    // The following record becomes current, or the new last one.
    int next = row < recordCount() ? row : recordCount() - 1;
    if (next < 0) next = 0;  // empty: after the last
    m_pos = -2;              // force the notification
    setPosition(next);
}

void RecordSet::moveFirst() {
    setPosition(0);
}

void RecordSet::moveLast() {
    setPosition(m_records.empty() ? 0 : recordCount() - 1);
}

void RecordSet::moveNext() {
    if (eof()) noCurrentRecord();
    setPosition(m_pos + 1);
}

void RecordSet::movePrevious() {
    if (bof()) noCurrentRecord();
    setPosition(m_pos - 1);
}

bool RecordSet::bof() const {
    return m_records.empty() || m_pos < 0;
}

bool RecordSet::eof() const {
    return m_records.empty() || m_pos >= recordCount();
}

int RecordSet::absolutePosition() const {
    if (m_records.empty() || m_pos < 0) return -2;
    if (m_pos >= recordCount()) return -3;
    return m_pos + 1;
}

int RecordSet::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name == name) return static_cast<int>(i);
    return -1;
}

int RecordSet::requireField(std::string_view name) const {
    const int i = fieldIndex(name);
    if (i < 0)
        throw ServiceError(ErrorNumber::kItemNotFound,
                           "列「" + std::string(name) + "」はありません。");
    return i;
}

int RecordSet::requireCurrent() const {
    if (bof() || eof()) noCurrentRecord();
    return m_pos;
}

FieldValue RecordSet::value(std::string_view field) const {
    const int f = requireField(field);
    return m_records[requireCurrent()][f];
}

void RecordSet::setValue(std::string_view field, const FieldValue& value) {
    setValueAt(requireCurrent(), requireField(field), value);
}

std::string RecordSet::text(std::string_view field) const {
    const FieldValue v = value(field);
    if (const auto* s = std::get_if<std::string>(&v)) return trimBlanks(*s);
    if (const auto* n = std::get_if<int32_t>(&v)) return std::to_string(*n);
    return {};
}

bool RecordSet::isNull(std::string_view field) const {
    return std::holds_alternative<std::monostate>(value(field));
}

const FieldValue& RecordSet::valueAt(int row, int field) const {
    return m_records.at(row).at(field);
}

FieldValue RecordSet::validated(int field, const FieldValue& value) const {
    const FieldDefinition& def = m_fields.at(field);
    if (std::holds_alternative<std::monostate>(value)) return value;
    if (def.type == adInteger) {
        if (std::holds_alternative<int32_t>(value)) return value;
        const std::string s = trimBlanks(std::get<std::string>(value));
        int32_t n = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (s.empty() || ec != std::errc() || end != s.data() + s.size())
            throw ServiceError(ErrorNumber::kDataOverflow,
                               "「" + def.name + "」には整数を入力してください。");
        return n;
    }
    std::string s = std::holds_alternative<int32_t>(value)
                        ? std::to_string(std::get<int32_t>(value))
                        : std::get<std::string>(value);
    const std::size_t bytes = cp932Length(s);
    if (bytes > static_cast<std::size_t>(def.definedSize))
        throw ServiceError(ErrorNumber::kDataOverflow, "「" + def.name + "」に入力できるのは" +
                                                           std::to_string(def.definedSize) +
                                                           "バイトまでです（入力は" +
                                                           std::to_string(bytes) + "バイト）。");
    return s;
}

void RecordSet::setValueAt(int row, int field, const FieldValue& value) {
    FieldValue v = validated(field, value);
    FieldValue& stored = m_records.at(row).at(field);
    if (stored == v) return;
    stored = std::move(v);
    ++m_revision;
    if (m_observer) m_observer->valueChanged(row, field);
}

const RecordAttachmentPtr& RecordSet::attachmentAt(int row) const {
    return m_attachments.at(static_cast<std::size_t>(row));
}

void RecordSet::setAttachmentAt(int row, RecordAttachmentPtr attachment) {
    m_attachments.at(static_cast<std::size_t>(row)) = std::move(attachment);
    ++m_revision;
}

void RecordSet::restore(Contents contents) {
    if (contents.records.size() != contents.attachments.size())
        throw ServiceError(ErrorNumber::kGeneral, "元に戻す内容が壊れています。");
    for (const auto& record : contents.records)
        if (record.size() != m_fields.size())
            throw ServiceError(ErrorNumber::kGeneral, "元に戻す内容が壊れています。");
    if (m_observer) m_observer->recordSetAboutToReset();
    m_open = true;
    m_records = std::move(contents.records);
    m_attachments = std::move(contents.attachments);
    m_pos = std::clamp(contents.position, -1, recordCount());
    ++m_revision;
    if (m_observer) m_observer->recordSetReset();
    if (m_observer) m_observer->currentChanged(currentRow());
}

void RecordSet::setCurrentRow(int row) {
    if (row < 0 || row >= recordCount()) noCurrentRecord();
    setPosition(row);
}

int RecordSet::currentRow() const {
    return bof() || eof() ? -1 : m_pos;
}

void RecordSet::setPosition(int pos) {
    if (pos == m_pos) return;
    m_pos = pos;
    if (m_observer) m_observer->currentChanged(currentRow());
}

}  // namespace quorix
