// The "&Metadata" page (rendered through a stylesheet) and the "&XML" page.
#include <QComboBox>

#include "AtlasdeskOps.h"
#include "BrowserPane.h"
#include "Errors.h"
#include "FileOps.h"
#include "PathOps.h"
#include "ServerTree.h"
#include "XMLFile.h"
#include "TemporaryDocument.h"
#include "dlgAtlasdeskU.h"


void TdlgAtlasdesk::OnTabXslShow()
{
    TreeNode* node = tvXMLTree->primaryNode();
    if (!node)
        return;
    CopyFileOver(AppDir + cbXslFormat->currentText().toStdString(), AppDir + "~Last Used.xsl");
    const std::string& xmlPath = node->file()->XMLPath;
    if (!FileExists(xmlPath))
        return;
    const std::string temporary = AppDir + "~TempXML.xml";
    writeTemporaryDocument(xmlPath, temporary);
    wbXSL->navigate(temporary);
}

void TdlgAtlasdesk::OnTabXMLShow()
{
    TreeNode* node = tvXMLTree->primaryNode();
    if (!node || !FileExists(node->file()->XMLPath))
        return;
    // The path as bytes: names on old servers are often not UTF-8.
    wbXML->navigate(node->file()->XMLPath);
}
