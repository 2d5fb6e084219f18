// The "&Rename" page: the number of files concerned.
#include <QGroupBox>

#include "app/ServerTree.h"
#include "app/dlgAtlasdeskU.h"

void TdlgAtlasdesk::OnTabRenameShow()
{
    grpRename->setTitle(QStringLiteral("Rename %1 files").arg(tvXMLTree->selectionCount()));
}
