#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/db/engine/data_type.h"
#include "services/db/engine/property_value.h"

namespace quorix {

class CatalogObject;
using CatalogObjectPtr = std::shared_ptr<CatalogObject>;

/// One object of a database catalog (a table, a column, a collection, ...), as read by an
/// engine. Plain data: it does not change when the database changes.
class CatalogObject {
public:
    /// @p kind is the kind name ("Table", "Columns", ...); collections end in "s".
    CatalogObject(std::string kind, std::string name = {});
    virtual ~CatalogObject() = default;

    const std::string& kind() const { return m_kind; }
    const std::string& name() const { return m_name; }
    bool isCollection() const;

    /// Reads a property by name. "Name" gives the name, "Count" a collection's size.
    /// Throws ServiceError with a description when the engine cannot give it.
    PropertyValue property(std::string_view name) const;
    void setProperty(const std::string& name, PropertyValue value);
    void reserveProperties(std::size_t count) { details().properties.reserve(count); }
    /// Properties this object does not have of its own are read from @p base (an index's
    /// column reads the table column's type, for example).
    void setBase(CatalogObjectPtr base) { details().base = std::move(base); }
    /// Records that a property exists but could not be read, with the reason.
    void setPropertyError(const std::string& name, const std::string& description);

    /// A sub-object by role ("Columns", "Indexes", "Keys", "Command", "Parameters", "Users",
    /// "Groups"). Throws ServiceError when the object has none.
    CatalogObjectPtr child(std::string_view role) const;
    void setChild(const std::string& role, CatalogObjectPtr object);

    /// Members of a collection, in the engine's order.
    const std::vector<CatalogObjectPtr>& members() const { return m_members; }
    void addMember(CatalogObjectPtr member) { m_members.push_back(std::move(member)); }
    void reserveMembers(std::size_t count) { m_members.reserve(count); }
    /// The member of that name, or null.
    CatalogObjectPtr member(std::string_view name) const;

protected:
    /// A property an engine's own object type keeps in fields of its own; nullopt when it
    /// has none of that name. Asked before the stored properties.
    virtual std::optional<PropertyValue> fieldProperty(std::string_view /*name*/) const {
        return std::nullopt;
    }

private:
    // Few entries each: a flat list is faster than a map to build and to search. Kept apart
    // and made when first needed: a table known by name only (of 100 000) has none.
    struct Details {
        std::vector<std::pair<std::string, PropertyValue>> properties;
        std::vector<std::pair<std::string, std::string>> propertyErrors;
        std::vector<std::pair<std::string, CatalogObjectPtr>> children;
        CatalogObjectPtr base;
    };
    Details& details() {
        if (!m_details) m_details = std::make_unique<Details>();
        return *m_details;
    }

    std::string m_kind;
    std::string m_name;
    std::vector<CatalogObjectPtr> m_members;
    std::unique_ptr<Details> m_details;
};

/// Why DateCreated and DateModified cannot be read: neither engine keeps them.
inline constexpr const char* kNoDatesKept =
    "作成日時と更新日時はこのデータベースには記録されていません。";

/// A view or procedure ("View", "Procedure"): its name, the dates no engine keeps, and its
/// "Command" with the command text and no parameters.
/// A table as an engine that keeps no dates gives it, before its parts are added.
CatalogObjectPtr makeTableObject(const std::string& name);

CatalogObjectPtr makeCommandObject(const std::string& kind, const std::string& name,
                                   const std::string& commandText);

/// What a server's catalog says of a column, as its engine reads it.
struct ColumnFacts {
    int32_t type = adVarWChar;
    long long size = 0, precision = 0, scale = 0;
    bool fixed = false, timeZone = false, nullable = true, autoIncrement = false;
};

/// A "Column" object named @p name with the properties of @p facts, as every engine shows them.
CatalogObjectPtr columnObject(const std::string& name, const ColumnFacts& facts);

/// Adds to @p indexes an "Index" with the properties every engine shows and an empty
/// "Columns" list, which it returns.
CatalogObjectPtr addIndexObject(CatalogObject& indexes, const std::string& name, bool primary,
                                bool unique, bool clustered);

/// Adds to @p keys a "Key" of @p type (adKeyPrimary, ...) and an empty "Columns" list, which
/// it returns.
CatalogObjectPtr addKeyObject(CatalogObject& keys, const std::string& name, long long type,
                              const std::string& relatedTable, long long updateRule,
                              long long deleteRule);

/// A column of an index or key: one property of its own (SortOrder, RelatedColumn), the rest
/// from the table's column @p base (none when null).
CatalogObjectPtr memberColumnObject(const std::string& name, const char* property,
                                    PropertyValue value, CatalogObjectPtr base);

}  // namespace quorix
