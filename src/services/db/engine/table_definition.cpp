#include "services/db/engine/table_definition.h"

namespace quorix {

ColumnDefinition* TableDefinition::column(const std::string& columnName) {
    for (auto& c : columns)
        if (c.name == columnName) return &c;
    return nullptr;
}

}  // namespace quorix
