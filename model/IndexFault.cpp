#include "model/IndexFault.h"

#include <sqlite3.h>

IndexFault indexFaultOf(int sqliteCode)
{
    switch (sqliteCode & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return IndexFault::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return IndexFault::Locked;
    case SQLITE_FULL:
        return IndexFault::DiskFull;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        return IndexFault::Unwritable;
    default:
        return IndexFault::Failed;
    }
}
