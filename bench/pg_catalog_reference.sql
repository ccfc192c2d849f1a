-- The facts the catalog tree shows for every table of the search path, read by psql in a
-- handful of whole-database queries: the reference for the PostgreSQL catalog benchmark.
SELECT c.oid, n.nspname, c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
 WHERE c.relkind IN ('r', 'p') AND n.nspname = ANY (current_schemas(false));
SELECT a.attrelid, a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull
  FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace
 WHERE a.attnum > 0 AND NOT a.attisdropped AND c.relkind IN ('r', 'p')
   AND n.nspname = ANY (current_schemas(false));
SELECT i.indrelid, ic.relname, i.indisprimary, i.indisunique, a.attname, i.indoption
  FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid
  CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, ord)
  LEFT JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum
  JOIN pg_class c ON c.oid = i.indrelid JOIN pg_namespace n ON n.oid = c.relnamespace
 WHERE n.nspname = ANY (current_schemas(false));
SELECT con.conrelid, con.conname, con.contype, con.confrelid::regclass, con.confupdtype,
       con.confdeltype, a.attname
  FROM pg_constraint con CROSS JOIN LATERAL unnest(con.conkey) WITH ORDINALITY AS k(attnum, ord)
  JOIN pg_attribute a ON a.attrelid = con.conrelid AND a.attnum = k.attnum
  JOIN pg_class c ON c.oid = con.conrelid JOIN pg_namespace n ON n.oid = c.relnamespace
 WHERE con.contype IN ('p', 'u', 'f') AND n.nspname = ANY (current_schemas(false));
