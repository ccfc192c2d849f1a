#include "services/db/postgresql/postgresql_catalog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/engine/table_definition.h"
#include "services/db/postgresql/postgresql_client.h"
#include "services/db/postgresql/postgresql_types.h"

namespace quorix::postgresql {

namespace {

// One part of a shown name: quoted when it holds a dot or a quote, so that two different
// tables never look the same ("s.t" in public is shown as "s.t" in quotes, t of s as s.t).
std::string shownPart(const std::string& part) {
    if (part.find_first_of(".\"") == std::string::npos && !part.empty()) return part;
    return quoteIdentifier(part);
}

int32_t ruleCode(char action) {
    switch (action) {
        case 'c':
            return adRICascade;
        case 'n':
            return adRISetNull;
        case 'd':
            return adRISetDefault;
        default:
            return adRINone;
    }
}

const char kRelations[] =
    "SELECT c.oid, n.nspname, c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
    "c.relnamespace WHERE c.relkind IN ('r', 'p') AND n.nspname = ANY (current_schemas(false)) "
    "ORDER BY array_position(current_schemas(false), n.nspname), c.relname";

// The same tables as kRelations, unsorted, with the place of their schema in the search path:
// sorting 100 000 names here is quicker than on the server, which sorts them on disk. Names
// compare byte by byte (the "C" collation of the name type), as in kRelations.
const char kRelationNames[] =
    "SELECT s.pos, n.nspname, c.relname FROM unnest(current_schemas(false)) WITH ORDINALITY "
    "s(nspname, pos) JOIN pg_namespace n ON n.nspname = s.nspname JOIN pg_class c ON "
    "c.relnamespace = n.oid WHERE c.relkind IN ('r', 'p')";

// A column of the catalog from row @p i of the column query (relation, name, type, modifier,
// not null, identity, default).
CatalogObjectPtr columnOf(const PGresult* r, int i) {
    ColumnFacts f = typeFacts(value(r, i, 2), number(r, i, 3));
    f.nullable = !flag(r, i, 4);
    f.autoIncrement = flag(r, i, 5);
    CatalogObjectPtr column = columnObject(value(r, i, 1), f);
    if (!PQgetisnull(r, i, 6)) column->setProperty("Default", value(r, i, 6));
    return column;
}

/// Every table of the relations query @p relations (oid, schema, name), in full.
CatalogObjectPtr readTables(PGconn* conn, const std::string& relations) {
    const std::string what = "表の一覧を読み取れません。";
    Result rels = run(conn, relations, what);
    auto tables = std::make_shared<CatalogObject>("Tables");
    std::map<std::string, CatalogObjectPtr> byOid;
    std::map<std::string, CatalogObjectPtr> columnsOf, indexesOf, keysOf;
    for (int i = 0; i < PQntuples(rels.get()); ++i) {
        auto t = makeTableObject(shownName(value(rels.get(), i, 1), value(rels.get(), i, 2)));
        const std::string oid = value(rels.get(), i, 0);
        byOid[oid] = t;
        for (auto [role, map] : {std::pair{"Columns", &columnsOf}, std::pair{"Indexes", &indexesOf},
                                 std::pair{"Keys", &keysOf}}) {
            auto list = std::make_shared<CatalogObject>(role);
            t->setChild(role, list);
            (*map)[oid] = list;
        }
        tables->addMember(t);
    }
    // Every column of those tables in one query.
    Result cols = run(conn,
                      "SELECT a.attrelid, a.attname, format_type(a.atttypid, NULL), a.atttypmod, "
                      "a.attnotnull, a.attidentity <> '', pg_get_expr(d.adbin, d.adrelid) "
                      "FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid "
                      "AND d.adnum = a.attnum WHERE a.attnum > 0 "
                      "AND NOT a.attisdropped AND a.attrelid IN (SELECT oid FROM (" +
                          relations + ") r) ORDER BY a.attrelid, a.attnum",
                      what);
    std::map<std::string, std::map<std::string, CatalogObjectPtr>> columnByName;
    for (int i = 0; i < PQntuples(cols.get()); ++i) {
        const std::string oid = value(cols.get(), i, 0);
        auto col = columnOf(cols.get(), i);
        columnByName[oid][col->name()] = col;
        columnsOf[oid]->addMember(col);
    }
    auto member = [&](const std::string& oid, const std::string& name, const char* property,
                      PropertyValue v) {
        const auto& byName = columnByName[oid];
        const auto it = byName.find(name);
        return memberColumnObject(name, property, std::move(v),
                                  it == byName.end() ? nullptr : it->second);
    };
    // Indexes with their key columns in order and their sort order.
    Result idx =
        run(conn,
            "SELECT i.indrelid, ic.relname, i.indisprimary, i.indisunique, "
            "coalesce(a.attname, ''), (i.indoption[k.ord - 1] & 1) = 1 FROM pg_index i "
            "JOIN pg_class ic ON ic.oid = i.indexrelid CROSS JOIN LATERAL "
            "unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, ord) LEFT JOIN "
            "pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum WHERE "
            "k.ord <= i.indnkeyatts AND i.indrelid IN (SELECT oid FROM (" +
                relations + ") r) ORDER BY i.indrelid, i.indisprimary DESC, ic.relname, k.ord",
            what);
    std::map<std::string, CatalogObjectPtr> indexCols;
    for (int i = 0; i < PQntuples(idx.get()); ++i) {
        const std::string oid = value(idx.get(), i, 0);
        const std::string name = value(idx.get(), i, 1);
        const std::string key = oid + "\x1f" + name;
        if (!indexCols.count(key)) {
            indexCols[key] = addIndexObject(*indexesOf[oid], name, flag(idx.get(), i, 2),
                                            flag(idx.get(), i, 3), false);
        }
        indexCols[key]->addMember(member(oid, value(idx.get(), i, 4), "SortOrder",
                                         static_cast<long long>(flag(idx.get(), i, 5) ? 2 : 1)));
    }
    // Primary, unique and foreign keys with their columns in order.
    Result keys = run(conn,
                      "SELECT con.conrelid, con.conname, con.contype, CASE WHEN con.contype = 'f' "
                      "THEN (SELECT fn.nspname || E'\\x1f' || fc.relname FROM pg_class fc JOIN "
                      "pg_namespace fn ON fn.oid = fc.relnamespace WHERE fc.oid = con.confrelid) "
                      "ELSE '' END, "
                      "con.confupdtype, con.confdeltype, a.attname, coalesce(fa.attname, '') "
                      "FROM pg_constraint con CROSS JOIN LATERAL unnest(con.conkey) WITH "
                      "ORDINALITY AS k(attnum, ord) JOIN pg_attribute a ON a.attrelid = "
                      "con.conrelid AND a.attnum = k.attnum LEFT JOIN pg_attribute fa ON "
                      "fa.attrelid = con.confrelid AND fa.attnum = con.confkey[k.ord] WHERE "
                      "con.contype IN ('p', 'u', 'f') AND con.conrelid IN (SELECT oid FROM (" +
                          relations +
                          ") r) ORDER BY con.conrelid, con.contype = 'p' DESC, con.conname, k.ord",
                      what);
    std::map<std::string, CatalogObjectPtr> keyCols;
    for (int i = 0; i < PQntuples(keys.get()); ++i) {
        const std::string oid = value(keys.get(), i, 0);
        const std::string name = value(keys.get(), i, 1);
        const char type = value(keys.get(), i, 2)[0];
        const std::string k = oid + "\x1f" + name;
        if (!keyCols.count(k)) {
            const std::string related = value(keys.get(), i, 3);
            const auto cut = related.find('\x1f');
            keyCols[k] =
                addKeyObject(*keysOf[oid], name,
                             type == 'p'   ? adKeyPrimary
                             : type == 'u' ? adKeyUnique
                                           : adKeyForeign,
                             cut == std::string::npos
                                 ? related
                                 : shownName(related.substr(0, cut), related.substr(cut + 1)),
                             type == 'f' ? ruleCode(value(keys.get(), i, 4)[0]) : adRINone,
                             type == 'f' ? ruleCode(value(keys.get(), i, 5)[0]) : adRINone);
        }
        keyCols[k]->addMember(
            member(oid, value(keys.get(), i, 6), "RelatedColumn", value(keys.get(), i, 7)));
    }
    return tables;
}

}  // namespace

// A table name as shown: schema-qualified outside "public".
std::string shownName(const std::string& schema, const std::string& name) {
    return schema == "public" ? shownPart(name) : shownPart(schema) + "." + shownPart(name);
}

// The schema and name of a shown name; nullopt for a text shownName never gives.
std::optional<std::pair<std::string, std::string>> parseShownName(const std::string& shown) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= shown.size()) {
        std::string part;
        if (i < shown.size() && shown[i] == '"') {
            bool closed = false;
            for (++i; i < shown.size(); ++i) {
                if (shown[i] != '"') {
                    part += shown[i];
                } else if (i + 1 < shown.size() && shown[i + 1] == '"') {
                    part += '"';
                    ++i;
                } else {
                    closed = true;
                    ++i;
                    break;
                }
            }
            if (!closed) return std::nullopt;
        } else {
            const auto dot = shown.find('.', i);
            part = shown.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
            if (part.empty() || part.find('"') != std::string::npos) return std::nullopt;
            i = dot == std::string::npos ? shown.size() : dot;
        }
        parts.push_back(part);
        if (i == shown.size()) break;
        if (shown[i] != '.') return std::nullopt;
        ++i;
    }
    if (parts.size() == 1) return std::make_pair(std::string("public"), parts[0]);
    if (parts.size() == 2 && parts[0] != "public") return std::make_pair(parts[0], parts[1]);
    return std::nullopt;
}

CatalogObjectPtr readTableNames(PGconn* conn) {
    Result rels = run(conn, kRelationNames, "表の一覧を読み取れません。");
    const PGresult* r = rels.get();
    struct Row {
        long place;
        const char* name;
        int row;
    };
    std::vector<Row> rows(static_cast<std::size_t>(PQntuples(r)));
    for (int i = 0; i < PQntuples(r); ++i)
        rows[static_cast<std::size_t>(i)] = {std::strtol(PQgetvalue(r, i, 0), nullptr, 10),
                                             PQgetvalue(r, i, 2), i};
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.place != b.place ? a.place < b.place : std::strcmp(a.name, b.name) < 0;
    });
    auto tables = std::make_shared<CatalogObject>("Tables");
    tables->reserveMembers(rows.size());
    for (const Row& row : rows)
        tables->addMember(makeTableObject(shownName(value(r, row.row, 1), row.name)));
    return tables;
}

CatalogObjectPtr readTableDetails(PGconn* conn, const std::string& name) {
    const auto parts = parseShownName(name);
    if (!parts) return nullptr;
    auto literal = [&](const std::string& text) {
        std::unique_ptr<char, decltype(&PQfreemem)> q(
            PQescapeLiteral(conn, text.data(), text.size()), &PQfreemem);
        if (!q) throw ServiceError(ErrorNumber::kGeneral, "表「" + name + "」を読み取れません。");
        return std::string(q.get());
    };
    // The same reading as for every table, of this one alone.
    const std::string one = "SELECT * FROM (" + std::string(kRelations) +
                            ") r WHERE r.nspname = " + literal(parts->first) +
                            " AND r.relname = " + literal(parts->second);
    const auto tables = readTables(conn, one);
    return tables->members().empty() ? nullptr : tables->members().front();
}

CatalogObjectPtr readTables(PGconn* conn) {
    return readTables(conn, kRelations);
}

CatalogObjectPtr readCommands(PGconn* conn, bool views) {
    const std::string sql =
        views ? "SELECT n.nspname, c.relname, pg_get_viewdef(c.oid) FROM pg_class c JOIN "
                "pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind IN ('v', 'm') AND "
                "n.nspname = ANY (current_schemas(false)) ORDER BY n.nspname, c.relname"
              : "SELECT n.nspname, p.proname || '(' || pg_get_function_identity_arguments(p.oid) "
                "|| ')', p.prosrc FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
                "WHERE p.prokind IN ('f', 'p') AND n.nspname = ANY (current_schemas(false)) "
                "ORDER BY n.nspname, p.proname";
    Result r =
        run(conn, sql, views ? "ビューを読み取れません。" : "プロシージャを読み取れません。");
    auto list = std::make_shared<CatalogObject>(views ? "Views" : "Procedures");
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        std::string text = value(r.get(), i, 2);
        text.erase(0, text.find_first_not_of(" \n"));
        auto o = makeCommandObject(views ? "View" : "Procedure",
                                   shownName(value(r.get(), i, 0), value(r.get(), i, 1)), text);
        list->addMember(o);
    }
    return list;
}

CatalogObjectPtr readRoles(PGconn* conn, bool login) {
    Result r = run(conn,
                   "SELECT r.rolname, coalesce(string_agg(o.rolname, E'\\x1f' ORDER BY o.rolname), "
                   "'') FROM pg_roles r LEFT JOIN pg_auth_members m ON (CASE WHEN $1 THEN "
                   "m.member = r.oid ELSE m.roleid = r.oid END) LEFT JOIN pg_roles o ON o.oid = "
                   "(CASE WHEN $1 THEN m.roleid ELSE m.member END) AND o.rolcanlogin <> $1 WHERE "
                   "r.rolcanlogin = $1 AND r.rolname NOT LIKE 'pg\\_%' GROUP BY r.rolname ORDER "
                   "BY r.rolname",
                   login ? "ユーザを読み取れません。" : "グループを読み取れません。",
                   {login ? "true" : "false"});
    auto list = std::make_shared<CatalogObject>(login ? "Users" : "Groups");
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        auto role = std::make_shared<CatalogObject>(login ? "User" : "Group", value(r.get(), i, 0));
        auto inner = std::make_shared<CatalogObject>(login ? "Groups" : "Users");
        std::string names = value(r.get(), i, 1);
        for (std::size_t start = 0; !names.empty() && start <= names.size();) {
            const auto end = names.find('\x1f', start);
            inner->addMember(std::make_shared<CatalogObject>(login ? "Group" : "User",
                                                             names.substr(start, end - start)));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        role->setChild(login ? "Groups" : "Users", inner);
        list->addMember(role);
    }
    return list;
}

}  // namespace quorix::postgresql
