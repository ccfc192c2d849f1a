#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorix {

/// A field value: null (monostate), a 32-bit integer or text.
using FieldValue = std::variant<std::monostate, int32_t, std::string>;

/// One field of a RecordSet.
struct FieldDefinition {
    std::string name;
    int32_t type = 0;         ///< adChar (fixed-width text, CP932 bytes) or adInteger
    int32_t definedSize = 0;  ///< bytes for adChar
    int32_t attributes = -1;  ///< adFldUnspecified or adFldIsNullable
};

/// Data a record carries beside its fields, for its owner's use; never shown or validated.
struct RecordAttachment {
    virtual ~RecordAttachment() = default;
};
using RecordAttachmentPtr = std::shared_ptr<const RecordAttachment>;

/// Told about every change of a RecordSet, so that a view can follow it.
class RecordSetObserver {
public:
    virtual ~RecordSetObserver() = default;
    virtual void recordSetAboutToReset() {}
    virtual void recordSetReset() {}
    virtual void recordAboutToBeAppended(int /*row*/) {}
    virtual void recordAppended(int /*row*/) {}
    virtual void recordAboutToBeRemoved(int /*row*/) {}
    virtual void recordRemoved(int /*row*/) {}
    virtual void valueChanged(int /*row*/, int /*field*/) {}
    /// The cursor moved; row is 0-based, -1 when there is no current record.
    virtual void currentChanged(int /*row*/) {}
};

/// A standalone, in-memory record set with a cursor. Failures throw ServiceError.
/// A text value longer than its field is refused, never cut.
class RecordSet {
public:
    void appendField(const std::string& name, int32_t type, int32_t definedSize,
                     int32_t attributes);
    /// Opens the (empty) set; fields can no longer be added.
    void open();
    void close();
    bool isOpen() const { return m_open; }

    /// Appends an empty record at the end and makes it current.
    void addNew();
    void deleteCurrent();

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    bool bof() const;
    bool eof() const;
    /// 1-based position of the current record; -2 before the first, -3 after the last.
    int absolutePosition() const;
    int recordCount() const { return static_cast<int>(m_records.size()); }

    FieldValue value(std::string_view field) const;
    void setValue(std::string_view field, const FieldValue& value);
    /// The value as text with blanks trimmed; null reads as empty text.
    std::string text(std::string_view field) const;
    bool isNull(std::string_view field) const;

    // Direct access by row and field index, for views.
    const std::vector<FieldDefinition>& fields() const { return m_fields; }
    int fieldIndex(std::string_view name) const;  ///< -1 when absent
    const FieldValue& valueAt(int row, int field) const;
    void setValueAt(int row, int field, const FieldValue& value);
    /// Makes row (0-based) current.
    void setCurrentRow(int row);
    /// The current row, 0-based; -1 when the cursor is before the first or after the last.
    int currentRow() const;

    /// What a record carries beside its fields (null when nothing); it stays with the record
    /// until replaced, and goes when the record is deleted.
    const RecordAttachmentPtr& attachmentAt(int row) const;
    void setAttachmentAt(int row, RecordAttachmentPtr attachment);

    /// Checks a value against a field without storing it; throws ServiceError when refused.
    FieldValue validated(int field, const FieldValue& value) const;

    void setObserver(RecordSetObserver* observer) { m_observer = observer; }

    /// Everything the records hold, to be put back later with restore().
    struct Contents {
        std::vector<std::vector<FieldValue>> records;
        std::vector<RecordAttachmentPtr> attachments;
        int position = -1;
        /// The same records and attachments (the cursor aside).
        bool sameRecords(const Contents& other) const {
            return records == other.records && attachments == other.attachments;
        }
    };
    Contents contents() const { return {m_records, m_attachments, m_pos}; }
    /// Puts back what contents() gave on this set (same fields); views are reset.
    void restore(Contents contents);
    /// Grows with every change of the records or attachments (not with cursor moves).
    std::uint64_t revision() const { return m_revision; }

private:
    int requireField(std::string_view name) const;
    int requireCurrent() const;
    void setPosition(int pos);

    std::vector<FieldDefinition> m_fields;
    std::vector<std::vector<FieldValue>> m_records;
    std::vector<RecordAttachmentPtr> m_attachments;  // one per record
    int m_pos = -1;  // -1 before the first record, size() after the last
    bool m_open = false;
    RecordSetObserver* m_observer = nullptr;
    std::uint64_t m_revision = 0;
};

}  // namespace quorix
