#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

    const std::string& kind() const { return m_kind; }
    const std::string& name() const { return m_name; }
    bool isCollection() const;

    /// Reads a property by name. "Name" gives the name, "Count" a collection's size.
    /// Throws ServiceError with a description when the engine cannot give it.
    PropertyValue property(std::string_view name) const;
    void setProperty(const std::string& name, PropertyValue value);
    /// Records that a property exists but could not be read, with the reason.
    void setPropertyError(const std::string& name, const std::string& description);

    /// A sub-object by role ("Columns", "Indexes", "Keys", "Command", "Parameters", "Users",
    /// "Groups"). Throws ServiceError when the object has none.
    CatalogObjectPtr child(std::string_view role) const;
    void setChild(const std::string& role, CatalogObjectPtr object);

    /// Members of a collection, in the engine's order.
    const std::vector<CatalogObjectPtr>& members() const { return m_members; }
    void addMember(CatalogObjectPtr member) { m_members.push_back(std::move(member)); }
    /// The member of that name, or null.
    CatalogObjectPtr member(std::string_view name) const;

private:
    std::string m_kind;
    std::string m_name;
    std::map<std::string, PropertyValue, std::less<>> m_properties;
    std::map<std::string, std::string, std::less<>> m_propertyErrors;
    std::map<std::string, CatalogObjectPtr, std::less<>> m_children;
    std::vector<CatalogObjectPtr> m_members;
};

}  // namespace quorix
