-- The user-defined tables of the sample project's production database
-- (connection-string entry PRODUCTION), for SQLite.
CREATE TABLE Batches (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  Stamp DATETIME NOT NULL,
  Count INTEGER NOT NULL
);
CREATE TABLE CounterLog (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  Stamp DATETIME NOT NULL,
  Count INTEGER NOT NULL,
  Line VARCHAR(64) NOT NULL
);
