#pragma once

namespace tarvelo::server {

class SqliteConnection;

// Readies the schema of the file `db` opened for the service; registerDialect must have run on
// `db`. Two steps:
//  - Tables of an older file whose CHECK constraints call the service's own functions (which no
//    other SQLite program knows, so that none could write them) are rebuilt to today's
//    definition: all of them in one transaction, every row kept (with its rowid where the table
//    has one), indexes made again. A file without such tables is not written to.
//  - The width checks are created as TEMP triggers of this connection on the service's tables
//    the file holds (an uninitialised file gets none).
// Throws tarvelo::Error when the rebuild fails; the file is then as it was.
void prepareSchema(SqliteConnection& db);

}  // namespace tarvelo::server
