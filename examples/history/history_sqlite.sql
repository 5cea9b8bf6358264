-- The history table for SQLite (Provider=SQLite;Data Source=<path>).
-- Tavrix never creates it; the demo and the tests run this file.
--
-- The column types decide how values are written: item_time is written as
-- "YYYY-MM-DD HH:MM:SS.ffffff", item_vartype must hold the variant type number
-- (8209 for a byte array), texts longer than a column's size are refused.
CREATE TABLE IF NOT EXISTS TavrixHistory (
  controller_name VARCHAR(255) NOT NULL,
  item_name       VARCHAR(255) NOT NULL,
  item_value      TEXT,
  item_vartype    SMALLINT NOT NULL,
  item_time       DATETIME NOT NULL,
  item_time_ms    INTEGER NOT NULL,
  flags           INTEGER NOT NULL DEFAULT 0
);
-- The current-value rows (m_lTableType 1 and 2) are found by this key.
CREATE INDEX IF NOT EXISTS TavrixHistory_item
  ON TavrixHistory (controller_name, item_name, flags);
