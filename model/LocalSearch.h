#pragma once
// The search back end of a store's own index file (SearchIndex.h): each
// answer is read on a connection of its own.
#include <QString>

#include "model/SearchBackend.h"

// Runs one search on the calling thread with a connection of its own.
// Never throws: a failure is in SearchAnswer::error.
SearchAnswer runIndexSearch(const QString& indexFile, const SearchQuery& query);

class LocalSearch : public SearchBackend {
public:
    explicit LocalSearch(QString indexFile) : m_indexFile(std::move(indexFile)) {}
    SearchAnswer answer(const SearchQuery& query) const override { return runIndexSearch(m_indexFile, query); }
    const QString& indexFile() const { return m_indexFile; }

private:
    QString m_indexFile;
};
