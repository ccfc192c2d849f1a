#pragma once

#include <string>
#include <vector>

#include "generation/table_layout.h"
#include "loading/load_modes.h"
#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "services/xml/xml_document.h"

namespace quorix {

/// What to load, and how.
struct LoadRequest {
    std::string documentPath;
    /// When not empty: these documents in this order, all in the one transaction (instead of
    /// documentPath).
    std::vector<std::string> documents;
    std::string rowset = "ROWSET";
    std::string row = "ROW";
    std::string dbType = "access";  ///< the vocabulary the definition's types belong to
    bool createTables = false;      ///< create the layout's tables first, in the same transaction
    LoadMode mode = LoadMode::Insert;  ///< what becomes of a row whose key is there already
    /// Lines whose column a table lacks become new columns of it (nullable, of the line's
    /// type) in the load's transaction; otherwise the load stops naming them.
    bool addColumns = false;
    /// Each document is noted in a table of the program's own (kLoadedDocuments, made when
    /// missing); one whose content went into the same tables before gets a note, not an error.
    bool remember = false;
    /// When not empty: a row of the document with an error is skipped with everything nested
    /// in it, and written to this file (position, table, column, value, reason) instead of
    /// stopping the load.
    std::string rejectPath;
    /// Files the load reads besides the document (the definition file): the reject file may be
    /// none of them.
    std::vector<std::string> inputs;
};

/// The columns of the layout that its tables in the database lack, per table, in the
/// definition's order ("表「T」に列「c」「d」がありません。" as one message when asked).
struct MissingColumns {
    std::string table;
    std::vector<std::string> columns;
};
/// What a load took from one document.
struct DocumentCounts {
    std::string document;
    long long rows = 0;              ///< rows of the document read
    long long ignored = 0;           ///< elements that no line of the definition takes
    std::string fingerprint;         ///< of its content
    std::vector<long long> written;  ///< rows written per table, in the definition's order
};

/// How a load ended.
struct LoadResult {
    bool ok = false;
    long long rows = 0;             ///< rows of the document read
    long long records = 0;          ///< rows written, all tables together
    int tables = 0;                 ///< tables written to
    long long ignoredElements = 0;  ///< elements of the rows that no line of the definition takes
    long long skipped = 0;          ///< rows of the document skipped for an error (rejectPath)
    std::vector<MissingColumns> addedColumns;  ///< columns the load added (addColumns)
    std::string rejectPath;                    ///< where the skipped rows were written
    LoadMode mode = LoadMode::Insert;
    std::vector<TableCounts> counts;        ///< per table, in the definition's order
    std::vector<DocumentCounts> documents;  ///< per document, in the order read
    std::vector<std::string> notes;         ///< documents loaded into these tables before

    /// On failure: what went wrong and what became of the database, in Japanese.
    std::string message;
    /// The connection was lost while committing: the rows may or may not be there.
    bool outcomeUnknown = false;
};

/// Reads the document once, as the analysis does, and writes every row into the tables of the
/// layout inside one transaction of @p connection: everything or nothing. Each group of the
/// layout takes its rows from one element of the document (the row element for the top
/// group, the nearest common ancestor of its lines' sources for a nested one); a nested row
/// begins with the values of the lines it hangs under. Every value is checked against its
/// column's type first; the first that does not fit stops the load with a message naming the
/// document's line and column, the table, the column and the value. @p progress may stop it.
LoadResult loadDocument(const LayoutDocument& layout, const LoadRequest& request,
                        Connection& connection, Catalog& catalog,
                        const XmlReadProgress& progress = {});

/// Those columns, for a question before the load.
std::vector<MissingColumns> missingColumns(const LayoutDocument& layout, Connection& connection);

/// What the status line says after a load that succeeded.
std::string loadReport(const LoadResult& result);
/// One line for a table of the summary: "表「T」: 追加 3 行、更新 1 行、…".
std::string tableReport(const TableCounts& counts);

}  // namespace quorix
