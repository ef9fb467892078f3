// What the store's files share and the rest of the phone does not use: how a connection just
// opened is brought to this build's tables, and what is forgotten when it closes.
#ifndef VELMORA_HOST_STORE_INTERNALS_H
#define VELMORA_HOST_STORE_INTERNALS_H

#include "host.h"

namespace host {

// Sets up a new store, or upgrades an older one, under the write lock; refuses one made by a
// later build. A phone already set up costs one read.
LONG prepareStore(sqlite3* db);
// Forgets which modules' tables were found set up: a new connection looks again.
void forgetModuleSchemas();

// Writes the WAL back into the store and empties it, unless a reader still uses it: then only
// what no reader needs is written back. Never waits for another process.
void emptyWalUnlessRead(sqlite3* db);

// Finalizes the statements kept for the connection, which closes only once they are.
void forgetStatements();
// Refuses with the status and the connection's message for an SQLite result.
LONG sqliteFailure(sqlite3* db, int rc);

} // namespace host

#endif
