#include "services/db/engine/catalog_object.h"

#include <algorithm>
#include <cstdio>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"

namespace quorix {

namespace {

template <typename Value>
auto find(std::vector<std::pair<std::string, Value>>& list, std::string_view name) {
    return std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == name; });
}

template <typename Value>
auto find(const std::vector<std::pair<std::string, Value>>& list, std::string_view name) {
    return std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == name; });
}

template <typename Value>
void put(std::vector<std::pair<std::string, Value>>& list, const std::string& name, Value value) {
    if (auto it = find(list, name); it != list.end())
        it->second = std::move(value);
    else
        list.emplace_back(name, std::move(value));
}

}  // namespace

std::string propertyText(const PropertyValue& value) {
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(long long n) const { return std::to_string(n); }
        std::string operator()(double d) const {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.15g", d);
            return buf;
        }
        std::string operator()(const std::string& s) const { return s; }
    };
    return std::visit(Visitor{}, value);
}

CatalogObject::CatalogObject(std::string kind, std::string name)
    : m_kind(std::move(kind)), m_name(std::move(name)) {}

bool CatalogObject::isCollection() const {
    return !m_kind.empty() && m_kind.back() == 's';
}

PropertyValue CatalogObject::property(std::string_view name) const {
    if (isCollection()) {
        if (name == "Count") return static_cast<long long>(m_members.size());
    } else if (name == "Name") {
        return m_name;
    }
    if (auto field = fieldProperty(name)) return *field;
    if (const Details* d = m_details.get()) {
        if (auto it = find(d->properties, name); it != d->properties.end()) return it->second;
        if (auto it = find(d->propertyErrors, name); it != d->propertyErrors.end())
            throw ServiceError(ErrorNumber::kNotSupported, it->second);
        if (d->base) return d->base->property(name);
    }
    throw ServiceError(ErrorNumber::kItemNotFound, "プロパティ「" + std::string(name) +
                                                       "」はこのデータベースでは取得できません。");
}

void CatalogObject::setProperty(const std::string& name, PropertyValue value) {
    put(details().properties, name, std::move(value));
}

void CatalogObject::setPropertyError(const std::string& name, const std::string& description) {
    put(details().propertyErrors, name, description);
}

CatalogObjectPtr CatalogObject::child(std::string_view role) const {
    if (const Details* d = m_details.get())
        if (auto it = find(d->children, role); it != d->children.end()) return it->second;
    throw ServiceError(ErrorNumber::kNotSupported,
                       "「" + std::string(role) + "」はこのデータベースでは取得できません。");
}

void CatalogObject::setChild(const std::string& role, CatalogObjectPtr object) {
    put(details().children, role, std::move(object));
}

CatalogObjectPtr CatalogObject::member(std::string_view name) const {
    for (const auto& m : m_members)
        if (m->name() == name) return m;
    return nullptr;
}

namespace {

// A table's own properties are the same for every table of these engines: kept once, not
// per table (a catalog of 100 000 tables holds 100 000 of these).
class DatelessTable : public CatalogObject {
public:
    explicit DatelessTable(const std::string& name) : CatalogObject("Table", name) {}

protected:
    std::optional<PropertyValue> fieldProperty(std::string_view name) const override {
        if (name == "Type") return std::string("TABLE");
        if (name == "DateCreated" || name == "DateModified")
            throw ServiceError(ErrorNumber::kNotSupported, kNoDatesKept);
        return std::nullopt;
    }
};

}  // namespace

CatalogObjectPtr makeTableObject(const std::string& name) {
    return std::make_shared<DatelessTable>(name);
}

CatalogObjectPtr makeCommandObject(const std::string& kind, const std::string& name,
                                   const std::string& commandText) {
    auto object = std::make_shared<CatalogObject>(kind, name);
    object->setPropertyError("DateCreated", kNoDatesKept);
    object->setPropertyError("DateModified", kNoDatesKept);
    auto command = std::make_shared<CatalogObject>("Command", std::string());
    command->setProperty("CommandText", commandText);
    command->setProperty("CommandTimeout", 30LL);
    command->setProperty("Prepared", false);
    command->setProperty("State", 0LL);
    command->setProperty("CommandType", static_cast<long long>(adCmdText));
    command->setChild("Parameters", std::make_shared<CatalogObject>("Parameters"));
    object->setChild("Command", command);
    return object;
}

CatalogObjectPtr columnObject(const std::string& name, const ColumnFacts& f) {
    auto col = std::make_shared<CatalogObject>("Column", name);
    col->setProperty("Type", static_cast<long long>(f.type));
    col->setProperty("DefinedSize", f.size);
    col->setProperty("Precision", f.precision);
    col->setProperty("NumericScale", f.scale);
    col->setProperty("Attributes", static_cast<long long>((f.fixed ? adColFixed : 0) |
                                                          (f.nullable ? adColNullable : 0)));
    col->setProperty("AutoIncrement", f.autoIncrement);
    col->setProperty("Nullable", f.nullable);
    col->setProperty("TimeZone", f.timeZone);
    return col;
}

CatalogObjectPtr addIndexObject(CatalogObject& indexes, const std::string& name, bool primary,
                                bool unique, bool clustered) {
    auto index = std::make_shared<CatalogObject>("Index", name);
    index->setProperty("Clustered", clustered);
    index->setProperty("IndexNulls",
                       static_cast<long long>(primary ? adIndexNullsDisallow : adIndexNullsAllow));
    index->setProperty("PrimaryKey", primary);
    index->setProperty("Unique", unique);
    auto columns = std::make_shared<CatalogObject>("Columns");
    index->setChild("Columns", columns);
    indexes.addMember(index);
    return columns;
}

CatalogObjectPtr addKeyObject(CatalogObject& keys, const std::string& name, long long type,
                              const std::string& relatedTable, long long updateRule,
                              long long deleteRule) {
    auto key = std::make_shared<CatalogObject>("Key", name);
    key->setProperty("Type", type);
    key->setProperty("RelatedTable", relatedTable);
    key->setProperty("UpdateRule", updateRule);
    key->setProperty("DeleteRule", deleteRule);
    auto columns = std::make_shared<CatalogObject>("Columns");
    key->setChild("Columns", columns);
    keys.addMember(key);
    return columns;
}

CatalogObjectPtr memberColumnObject(const std::string& name, const char* property,
                                    PropertyValue value, CatalogObjectPtr base) {
    auto column = std::make_shared<CatalogObject>("Column", name);
    column->setProperty(property, std::move(value));
    if (base) column->setBase(std::move(base));
    return column;
}

}  // namespace quorix
