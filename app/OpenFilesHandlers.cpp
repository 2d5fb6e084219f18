// "&Open file(s)": opens the selected data files in their own programs.
#include <QMessageBox>

#include "CommandGuard.h"
#include "PathOps.h"
#include "ServerTree.h"
#include "XMLFile.h"
#include "dlgAtlasdeskU.h"

namespace {

// The metadata path without its last extension: the data file itself
// (roads.shp.xml -> roads.shp), or <dir>/metadata for a directory.
std::string dataFileOf(const tXMLFile& file)
{
    const std::string& path = file.XMLPath;
    const std::string ext = ExtractFileExt(path);
    return path.substr(0, path.size() - ext.size());
}

} // namespace

void TdlgAtlasdesk::OnMnuOpenFilesClick()
{
    runCommand(this, [this] {
        const std::vector<TreeNode*> selected(tvXMLTree->selectionOrder().begin(),
                                              tvXMLTree->selectionOrder().end());
        const int n = static_cast<int>(selected.size());
        if (n > 1) {
            QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                            QStringLiteral("Open %1 files").arg(n),
                            QMessageBox::Ok | QMessageBox::Cancel, this);
            if (box.exec() != QMessageBox::Ok)
                return;
        }
        for (TreeNode* node : selected)
            launchFile(dataFileOf(*node->file()));
    });
}
