-- The user-defined tables of the sample project's production database
-- (connection-string entry PRODUCTION), for PostgreSQL.
CREATE TABLE Batches (
  id SERIAL PRIMARY KEY,
  Stamp TIMESTAMP NOT NULL,
  Count INTEGER NOT NULL
);
CREATE TABLE CounterLog (
  id SERIAL PRIMARY KEY,
  Stamp TIMESTAMP NOT NULL,
  Count INTEGER NOT NULL,
  Line VARCHAR(64) NOT NULL
);
