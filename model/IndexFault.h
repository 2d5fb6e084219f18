#pragma once
// What went wrong with a search index file, as far as something can be done
// about it, and the exception that carries it. Plain values: any thread.
#include <string>

#include "support/Errors.h"

enum class IndexFault {
    None,
    Damaged,    // a damaged page, or not an index at all: it is built again
    Locked,     // another program holds the file: wait and try again later
    DiskFull,   // no room left on the disk that holds it
    Unwritable, // its folder or the file itself may not be written
    Failed,     // anything else (a read error of the disk, ...)
};

// The fault of an SQLite result code (primary or extended).
IndexFault indexFaultOf(int sqliteCode);

// A failure of the index file. The message is SQLite's own text (or ours),
// never a statement.
class SearchIndexError : public Exception {
public:
    SearchIndexError(IndexFault fault, const std::string& message) : Exception(message), m_fault(fault) {}
    IndexFault fault() const { return m_fault; }

private:
    IndexFault m_fault;
};
