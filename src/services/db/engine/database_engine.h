#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "services/db/engine/catalog_object.h"
#include "services/db/engine/connection_info.h"
#include "services/db/engine/service_error.h"
#include "services/db/engine/table_definition.h"

namespace quorix {

/// A value as a loader hands it to an engine, already checked against its column's type:
/// null, an integer, a truth value, or text (also numbers and dates in their written form).
using CellValue = std::variant<std::monostate, long long, bool, std::string>;
/// A row read back as text, a NULL as nullopt.
using TextRow = std::vector<std::optional<std::string>>;

/// What the caller knows of where a row came from; an engine that refuses a row later than
/// it was given names it by its tag.
using RowTag = long long;

/// A row refused after it was given (a buffered engine finds out when it sends the rows).
class RowRefused : public ServiceError {
public:
    RowRefused(const ServiceError& error, RowTag tag, std::string table = {})
        : ServiceError(error), m_tag(tag), m_table(std::move(table)) {}
    RowTag tag() const { return m_tag; }
    /// The table the row was for: not always the one whose insert found out.
    const std::string& table() const { return m_table; }

private:
    RowTag m_tag;
    std::string m_table;
};

/// Inserts rows into one table, its columns in a fixed order. Throws ServiceError on failure
/// (RowRefused for a row given earlier); ErrorNumber::kDuplicateKey when a key is taken.
class RowInserter {
public:
    virtual ~RowInserter() = default;
    /// Inserts one row of @p count values, in the inserter's column order.
    virtual void insert(const CellValue* row, std::size_t count, RowTag tag) = 0;
    void insert(const std::vector<CellValue>& row) { insert(row.data(), row.size(), 0); }
    /// Sends whatever still waits; required before the transaction commits.
    virtual void finish() {}
};

/// One open database of an engine. Every call throws ServiceError on failure.
class DatabaseSession {
public:
    virtual ~DatabaseSession() = default;

    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    virtual void rollbackTransaction() = 0;

    /// The catalog's collections; one the engine does not have throws.
    virtual CatalogObjectPtr tables() = 0;
    virtual CatalogObjectPtr views() = 0;
    virtual CatalogObjectPtr procedures() = 0;
    virtual CatalogObjectPtr groups() = 0;
    virtual CatalogObjectPtr users() = 0;
    /// The tables as tables() gives them, in its order, with their own properties but without
    /// their columns, indexes and keys: what the top of a catalog tree shows.
    virtual CatalogObjectPtr tableNames() { return tables(); }
    /// One table with everything tables() gives of it; null when there is none.
    virtual CatalogObjectPtr tableDetails(const std::string& name) {
        return tables()->member(name);
    }

    /// Creates the table with its columns, column properties and indexes, inside the open
    /// transaction if there is one.
    virtual void createTable(const TableDefinition& table) = 0;
    virtual void dropTable(const std::string& name) = 0;

    /// Whether the table exists, and its column names in order (empty when it does not).
    virtual std::vector<std::string> tableColumns(const std::string& table) = 0;
    /// An inserter for @p columns of @p table, inside the open transaction.
    virtual std::unique_ptr<RowInserter> inserter(const std::string& table,
                                                  const std::vector<std::string>& columns) = 0;
    /// An inserter that may gather rows and send them in bulk, the engine's fastest path;
    /// only finish() guarantees that they were sent.
    virtual std::unique_ptr<RowInserter> bulkInserter(const std::string& table,
                                                      const std::vector<std::string>& columns) {
        return inserter(table, columns);
    }
    /// The largest value of an integer column; nullopt when the table has no row.
    virtual std::optional<long long> largestValue(const std::string& table,
                                                  const std::string& column) = 0;
    /// A savepoint inside the open transaction; rolling back to it undoes what followed it.
    virtual void savepoint(const std::string& name) = 0;
    virtual void releaseSavepoint(const std::string& name) = 0;
    virtual void rollbackToSavepoint(const std::string& name) = 0;
    /// What the engine did on opening that the user should hear of (empty when nothing).
    virtual std::string openingNote() const { return {}; }
    /// The engine and its version, as the user knows them ("PostgreSQL 15.10").
    virtual std::string serverVersion() const = 0;
    /// Tells the engine that numbers up to @p largest were given to an auto-numbered column,
    /// so that its own numbering continues after them.
    virtual void numbersGiven(const std::string& /*table*/, const std::string& /*column*/,
                              long long /*largest*/) {}

    // Statements of the caller's over the tables of a load, in the engine's own dialect.

    /// A table's name as this session's statements write it (qualified where it must be).
    virtual std::string quotedTable(const std::string& table) const {
        return quoteIdentifier(table);
    }
    /// A column's name as statements write it.
    virtual std::string quotedName(const std::string& name) const { return quoteIdentifier(name); }
    /// Runs a statement inside the open transaction; how many rows it changed.
    virtual long long execute(const std::string& sql, const std::string& what) = 0;
    /// Runs a query whose answer is one number.
    virtual long long count(const std::string& sql, const std::string& what) = 0;
    /// What follows "INSERT INTO table (…) SELECT … WHERE …" so that a row whose @p key is
    /// there already takes the new values of the columns @p update instead of being refused.
    virtual std::string upsertClause(const std::string& table, const std::vector<std::string>& key,
                                     const std::vector<std::string>& update) const = 0;
    /// A table of this session alone for rows on their way into @p table: its @p columns with
    /// their types, @p key as its primary key, no rows; gone when the transaction ends. Its
    /// name, for inserter(), bulkInserter() and statements.
    virtual std::string createWorkTable(const std::string& table,
                                        const std::vector<std::string>& columns,
                                        const std::vector<std::string>& key) = 0;
    virtual void dropWorkTable(const std::string& work) = 0;
    /// Runs the upsert @p sql (an INSERT with upsertClause()) and says how many rows it
    /// inserted and how many it took in all, where the engine can tell in the same statement;
    /// nullopt (nothing run) where it cannot.
    virtual std::optional<std::pair<long long, long long>> countedUpsert(
        const std::string& /*sql*/, const std::string& /*what*/) {
        return std::nullopt;
    }
    /// Deletes the rows of @p table whose @p key columns equal those of a row of @p source;
    /// how many went.
    virtual long long deleteMatching(const std::string& table, const std::string& source,
                                     const std::vector<std::string>& key);
    /// Adds @p column (nullable, without its key or auto-number) to @p table inside the open
    /// transaction; throws where the engine would commit what came before.
    virtual void addColumn(const std::string& table, const ColumnDefinition& column) = 0;
    /// Deletes every row of @p table inside the open transaction; how many there were.
    virtual long long emptyTable(const std::string& table) = 0;

    // Reading rows back.

    /// Begins a read-only transaction whose reads all see the database as it was at one moment.
    virtual void beginSnapshot() { beginTransaction(); }
    /// @p text as a string literal of this session's SQL.
    virtual std::string literal(const std::string& text) const;
    /// Whether "(a, b) > (x, y)" is how this engine's planner best reads a range of a key
    /// (else "a > x OR (a = x AND b > y)").
    virtual bool rowValueRanges() const { return false; }
    /// The SQL expression @p expr as text, for comparing any column's values with a text.
    virtual std::string asText(const std::string& expr) const { return "CAST(" + expr + " AS TEXT)"; }
    /// The column @p quoted as selectText should read it to give a text that compares with the
    /// column as its stored value does (where selectText shows some values otherwise).
    virtual std::string storedValue(const std::string& quoted) const { return quoted; }
    /// The rows a query gives, every value as the engine writes it as text (NULL: nullopt).
    virtual std::vector<TextRow> selectText(const std::string& sql, const std::string& what) = 0;
};

/// A database engine behind one or more provider names.
class DatabaseEngine {
public:
    virtual ~DatabaseEngine() = default;

    /// Opens an existing database; never creates one.
    virtual std::unique_ptr<DatabaseSession> open(const ConnectionInfo& info) = 0;
    /// Writes a new, empty database. Throws ServiceError kFileExists when it exists.
    virtual void createDatabase(const ConnectionInfo& info) = 0;
    /// Removes a database so that a new one can take its place.
    virtual void dropDatabase(const ConnectionInfo& info) = 0;
    /// The statements that DatabaseSession::createTable runs for @p table, in order, as text
    /// that the engine's own tools run too. Throws what createTable throws for a definition it
    /// cannot create.
    virtual std::vector<std::string> createTableStatements(const TableDefinition& table) const = 0;
    /// The data source as it may be shown or remembered: without a password written into it.
    virtual std::string shownDataSource(const std::string& dataSource) const { return dataSource; }
};

}  // namespace quorix
