-- The history table for PostgreSQL through ODBC
-- (Driver={PostgreSQL Unicode};Server=...;Database=...).
-- Tavrix never creates it. The name is folded to lower case by PostgreSQL, as
-- the unquoted name in the project's m_strTableName is.
CREATE TABLE IF NOT EXISTS TavrixHistory (
  controller_name VARCHAR(255) NOT NULL,
  item_name       VARCHAR(255) NOT NULL,
  item_value      TEXT,
  item_vartype    SMALLINT NOT NULL,
  item_time       TIMESTAMP NOT NULL,
  item_time_ms    INTEGER NOT NULL,
  flags           INTEGER NOT NULL DEFAULT 0
);
-- The current-value rows (m_lTableType 1 and 2) are found by this key.
CREATE INDEX IF NOT EXISTS TavrixHistory_item
  ON TavrixHistory (controller_name, item_name, flags);
