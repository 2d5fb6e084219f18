#include "sync/SyncState.h"

#include <QCryptographicHash>
#include <QSqlQuery>
#include <QVariant>

#include "catalogue/ChartroomConnection.h"
#include "catalogue/DataSetRows.h"
#include "model/AtlasdeskOps.h"

namespace {

// Raised whenever the rows a data set gives change for the same files and
// configuration (a change of the row builder): every data set is then
// written again by the next run.
constexpr int kRowForm = 3;

// Keys per statement that names keys.
constexpr size_t kKeysPerStatement = 1000;

std::string keyOf(const QSqlQuery& row, int column)
{
    return row.value(column).toByteArray().toStdString();
}

std::string keyList(const std::vector<std::string>& keys, size_t from, size_t to)
{
    std::string list;
    for (size_t i = from; i < to; ++i)
        list += (i > from ? "," : "") + KeyLiteral(keys[i]);
    return list;
}

} // namespace

bool HasSyncStateTable(ChartroomConnection& connection)
{
    bool found = false;
    connection.query("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE() "
                     "AND TABLE_NAME='SyncState'",
                     [&](const QSqlQuery& row) { found = row.value(0).toInt() > 0; });
    return found;
}

CatalogueSnapshot LoadCatalogueSnapshot(ChartroomConnection& connection, const std::string& recipe)
{
    CatalogueSnapshot snapshot;
    // The server compares the recipes: one number a row rather than a text.
    connection.query("SELECT DataSetKey,MetadataSize,MetadataTime,DataSize,DataTime,Recipe='" + SqlEscape(recipe) +
                         "',Listed FROM SyncState",
                     [&](const QSqlQuery& row) {
                         SyncStateRow state;
                         state.seen = {row.value(1).toLongLong(), row.value(2).toLongLong(),
                                       row.value(3).toLongLong(), row.value(4).toLongLong()};
                         state.sameRecipe = row.value(5).toInt() != 0;
                         state.listed = row.value(6).toInt() != 0;
                         snapshot.state.emplace(keyOf(row, 0), std::move(state));
                     });
    connection.query("SELECT DataSetKey FROM Main WHERE DataSetKey IS NOT NULL",
                     [&](const QSqlQuery& row) { snapshot.mainKeys.insert(keyOf(row, 0)); });
    return snapshot;
}

std::unordered_map<std::string, std::string> LoadPlaces(ChartroomConnection& connection,
                                                        const std::vector<std::string>& keys)
{
    std::unordered_map<std::string, std::string> places;
    for (size_t from = 0; from < keys.size(); from += kKeysPerStatement) {
        const std::string list = keyList(keys, from, std::min(keys.size(), from + kKeysPerStatement));
        connection.query("SELECT DataSetKey,PathFile,FileName FROM Main WHERE DataSetKey IN (" + list +
                             ") UNION ALL SELECT DataSetKey,PathFile,FileName FROM SyncState WHERE DataSetKey IN (" +
                             list + ")",
                         [&](const QSqlQuery& row) {
                             places.emplace(keyOf(row, 0), (row.value(1).toString() + row.value(2).toString()).toStdString());
                         });
    }
    return places;
}

std::string StateRowsStatement(const std::vector<StateWrite>& writes, const std::string& recipe)
{
    if (writes.empty())
        return {};
    std::string statement = "REPLACE INTO SyncState(PathFile,FileName,MetadataSize,MetadataTime,DataSize,DataTime,"
                            "Recipe,Listed,SyncedAt) VALUES ";
    for (size_t i = 0; i < writes.size(); ++i) {
        const StateWrite& w = writes[i];
        statement += i ? ",('" : "('";
        statement += SqlEscape(w.place.pathFile) + "','" + SqlEscape(w.place.fileName) + "'," +
                     std::to_string(w.seen.metadataSize) + "," + std::to_string(w.seen.metadataTime) + "," +
                     std::to_string(w.seen.dataSize) + "," + std::to_string(w.seen.dataTime) + ",'" +
                     SqlEscape(recipe) + "'," + (w.listed ? "1" : "0") + ",NOW())";
    }
    return statement;
}

std::string ForgetStateStatement(const std::vector<std::string>& keys)
{
    if (keys.empty())
        return {};
    return "DELETE FROM SyncState WHERE DataSetKey IN (" + keyList(keys, 0, keys.size()) + ")";
}

std::string RowRecipe(const tVectorOfString& themes, bool searchTables)
{
    std::string text = "row form " + std::to_string(kRowForm) + (searchTables ? " with search rows" : "") + "\n";
    for (const FieldMapEntry& entry : FieldMap) {
        text += entry.Name + "\t" + entry.XML_Path + "\t" + std::to_string(entry.Offset);
        for (const std::string& path : entry.FallbackPaths)
            text += "\t" + path;
        text += "\n";
    }
    for (const std::string& extensions : CategoryExtensions)
        text += extensions + "\n";
    for (const std::string& raster : RasterExtensions)
        text += raster + "\t";
    text += "\n";
    for (const std::string& theme : themes)
        text += theme + "\t";
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256)
        .toHex()
        .left(16)
        .toStdString();
}
