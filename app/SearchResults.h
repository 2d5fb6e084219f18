#pragma once
// The rows of the search pane's result list: one per data set found, in
// rank order, with what each row shows (category picture, title, folder,
// date, a snippet of why it matched) and the files a drag hands over.
#include <QAbstractListModel>
#include <optional>
#include <vector>

#include "model/SearchQuery.h"
#include "model/SearchSnippet.h"

// Window thread only.
class SearchResultsModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        FolderRole = Qt::UserRole + 1, // QString: the folder below the store's root, "" at the root
        DateRole,                      // QString: the metadata's date, else the metadata file's
        TitleMarksRole,                // QVariant of std::vector<searchtext::Span>: the title's matched words
        SnippetRole,                   // QVariant of Snippet
        CategoryRole,                  // int
    };

    explicit SearchResultsModel(QObject* parent = nullptr);

    // Replaces the rows with `hits`; `words` are the words they were found by.
    void setHits(std::vector<SearchHit> hits, const QString& words);
    // Adds `hits` after the rows, leaving out data sets the list holds.
    void appendHits(std::vector<SearchHit> hits);
    void clear();
    const std::vector<SearchHit>& hits() const { return m_hits; }
    const SearchHit* hit(int row) const;

    // What the row shows as its title: the metadata's, else the file name.
    static QString titleOf(const SearchHit& hit);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    // The dragged data sets as files, as the tree hands them over.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    struct Shown {
        QString title;
        std::vector<searchtext::Span> titleMarks;
        Snippet snippet;
    };
    // Made when a row is first shown: a thousand snippets at once would
    // hold up the window.
    const Shown& shown(int row) const;

    std::vector<SearchHit> m_hits;
    std::vector<searchtext::Term> m_terms;
    mutable std::vector<std::optional<Shown>> m_shown;
};

Q_DECLARE_METATYPE(Snippet)
Q_DECLARE_METATYPE(std::vector<searchtext::Span>)
