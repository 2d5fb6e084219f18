#include "catalogue/DataSetRows.h"

#include <QCryptographicHash>

#include <memory>

#include "model/AtlasdeskOps.h"
#include "model/XMLFile.h"
#include "support/StringOps.h"
#include "xml/XMLOps.h"

bool IgnoreFlagSet(const tXMLDocument& doc)
{
    const std::string& path = FieldMap[fiIgnore].XML_Path;
    return !path.empty() && LowerAscii(doc.GetNodeTextAt(path, 0)) == "yes";
}

PreparedDataSet PrepareDataSet(const std::string& xmlPath, CatalogueItem item, const std::string& serverRoot,
                               const tVectorOfString& themes)
{
    PreparedDataSet prepared;
    std::unique_ptr<tXMLDocument> doc;
    try {
        doc = std::make_unique<tXMLDocument>(xmlPath);
    } catch (const std::exception& e) {
        prepared.readError = e.what();
        return prepared;
    }
    try {
        if (IgnoreFlagSet(*doc)) {
            prepared.outcome = PreparedDataSet::Outcome::Ignored;
            return prepared;
        }
        prepared.rows.folders = ClassifyFolderPath(item.Dir, serverRoot, themes);
        prepared.foldersClassified = true;
        item.SizeMB = DataSizeMB(item.Dir + item.Name, item.Category);
        prepared.rows.mainRow = BuildCatalogueRecord(*doc, item, serverRoot, prepared.rows.folders.Lists, 0);
        prepared.outcome = PreparedDataSet::Outcome::Rows;
    } catch (...) {
        prepared.outcome = PreparedDataSet::Outcome::Failed;
        prepared.error = std::current_exception();
    }
    return prepared;
}

void WriteDataSetRows(DataSetRows& rows, UploadContext& context, const StatementExecutor& execute,
                      const MainRowWriter& writeMain)
{
    ApplyFolderClassification(rows.folders, context, execute);
    const int64_t recordNumber = RecordNumberNow();
    ReplaceRecordNumber(rows.mainRow, recordNumber);
    if (writeMain)
        writeMain(recordNumber, rows.mainRow);
    else
        execute(rows.mainRow);
}

std::vector<std::string> RemoveDataSetsStatements(const std::vector<std::string>& keys, int64_t keepFrom)
{
    if (keys.empty())
        return {};
    std::string list;
    for (const std::string& key : keys)
        list += (list.empty() ? "" : ",") + KeyLiteral(key);
    return {"DELETE FROM Main WHERE DataSetKey IN (" + list + ") AND RecordNumber<" + std::to_string(keepFrom)};
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
