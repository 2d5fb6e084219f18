#include "catalogue/DataSetRows.h"

#include <sys/stat.h>

#include <QCryptographicHash>

#include <memory>

#include "model/AtlasdeskOps.h"
#include "model/SearchFields.h"
#include "model/XMLFile.h"
#include "support/StringOps.h"
#include "xml/XMLOps.h"

bool IgnoreFlagSet(const tXMLDocument& doc)
{
    const std::string& path = FieldMap[fiIgnore].XML_Path;
    return !path.empty() && LowerAscii(doc.GetNodeTextAt(path, 0)) == "yes";
}

PreparedDataSet PrepareDataSet(const std::string& xmlPath, CatalogueItem item, const std::string& serverRoot,
                               const tVectorOfString& themes, const SearchFieldReader& search, RowsWanted wanted)
{
    PreparedDataSet prepared;
    std::unique_ptr<tXMLDocument> doc;
    if (wanted != RowsWanted::SearchByName) {
        try {
            doc = std::make_unique<tXMLDocument>(xmlPath);
        } catch (const std::exception& e) {
            prepared.readError = e.what();
            return prepared;
        }
    }
    try {
        const bool ignored = wanted == RowsWanted::All && IgnoreFlagSet(*doc);
        if (wanted == RowsWanted::All && !ignored) {
            prepared.rows.folders = ClassifyFolderPath(item.Dir, serverRoot, themes);
            prepared.foldersClassified = true;
            item.SizeMB = DataSizeMB(item.Dir + item.Name, item.Category);
            prepared.rows.mainRow = BuildCatalogueRecord(*doc, item, serverRoot, prepared.rows.folders.Lists, 0);
        }
        SearchFields fields;
        int64_t metadataTime = -1;
        if (doc) {
            QString error;
            if (!search.read(*doc, fields, error))
                throw Exception("The search fields of " + xmlPath + " cannot be read: " + error.toStdString());
            struct stat seen {};
            if (::stat(xmlPath.c_str(), &seen) == 0)
                metadataTime = int64_t(seen.st_mtim.tv_sec) * 1000000000 + seen.st_mtim.tv_nsec;
        }
        prepared.rows.search = BuildSearchRows(fields, item, serverRoot, xmlPath, metadataTime);
        prepared.outcome = ignored ? PreparedDataSet::Outcome::Ignored : PreparedDataSet::Outcome::Rows;
    } catch (...) {
        prepared.outcome = PreparedDataSet::Outcome::Failed;
        prepared.error = std::current_exception();
    }
    return prepared;
}

void WriteDataSetRows(DataSetRows& rows, UploadContext& context, const StatementExecutor& execute,
                      const DataSetRowWriter& writeRows)
{
    if (!rows.mainRow.empty())
        ApplyFolderClassification(rows.folders, context, execute);
    const int64_t recordNumber = RecordNumberNow();
    std::vector<std::string> statements;
    if (!rows.mainRow.empty()) {
        ReplaceRecordNumber(rows.mainRow, recordNumber);
        statements.push_back(rows.mainRow);
    }
    if (context.searchTables()) {
        SetSearchRecordNumber(rows.search, recordNumber);
        statements.push_back(rows.search.dataSetRow);
        if (!rows.search.boxRow.empty())
            statements.push_back(rows.search.boxRow);
    }
    if (statements.empty())
        return;
    if (writeRows) {
        writeRows(recordNumber, statements);
        return;
    }
    for (const std::string& statement : statements)
        execute(statement);
}

std::vector<std::string> RemoveDataSetsStatements(const std::vector<std::string>& keys, int64_t keepFrom,
                                                  bool searchTables)
{
    if (keys.empty())
        return {};
    std::string list;
    for (const std::string& key : keys)
        list += (list.empty() ? "" : ",") + KeyLiteral(key);
    std::vector<std::string> statements;
    if (searchTables)
        statements.push_back(RemoveSearchRowsStatement(list, keepFrom));
    // Main's last: what it removed is the row count that callers read.
    statements.push_back("DELETE FROM Main WHERE DataSetKey IN (" + list + ") AND RecordNumber<" +
                         std::to_string(keepFrom));
    return statements;
}

std::string CatalogueStoredText(const std::string& text)
{
    // SqlEscape's doubled backslashes and escaped quotes read back as they
    // were; only the line feeds stay changed.
    return ReplaceAll(text, "\n\n", "<br>");
}

std::string DataSetKeyOf(const CataloguePlace& place)
{
    const std::string text = CatalogueStoredText(place.pathFile) + "/" + CatalogueStoredText(place.fileName);
    return QCryptographicHash::hash(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())),
                                    QCryptographicHash::Sha256)
        .toStdString();
}

std::string KeyLiteral(const std::string& key)
{
    return "0x" + QByteArray::fromStdString(key).toHex().toStdString();
}
