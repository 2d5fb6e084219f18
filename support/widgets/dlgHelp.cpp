#include "dlgHelp.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QVBoxLayout>

namespace {

struct HelpSection {
    const char* heading;
    const char* body;
};

// One line per paragraph or list item: the memo wraps them to its width.
const HelpSection helpSections[] = {
    {"Installation procedure",
     "Install the program with the command given in the README of the distribution, "
     "or unpack all files of the distribution into one folder.\n"
     "Then run the program AtlasdeskView from that folder."},
    {"Mandatory files",
     "The View edition needs these files in the folder of the program:\n"
     "- AtlasdeskView, the program itself;\n"
     "- \"AtlasdeskView.ini.xml\", the configuration file;\n"
     "- the stylesheets (*.xsl) that present the metadata;\n"
     "- \"~Last Used.xsl\", the copy of the stylesheet last used."},
    {"How to connect to a remote data server",
     "The data server is a network share to which you have read access. "
     "First mount the share on a folder of your computer, for example /mnt/geodata:\n"
     "- in the file manager, choose \"Connect to Server\", type the address of the share "
     "(for example smb://fileserver/geodata) and confirm; or\n"
     "- add an entry for the share to /etc/fstab, or mount it with a command such as:\n"
     "    sudo mount -t cifs //fileserver/geodata /mnt/geodata -o ro,username=<you>\n"
     "Then run the program, choose Files > Connect to geodata server > New server..., "
     "select the mounted folder (for example /mnt/geodata) and confirm with OK."},
    {"Contact",
     "Questions and remarks: geodata@atlasdesk.org"},
};

} // namespace

QString atlasdeskHelpText()
{
    QStringList parts;
    for (const HelpSection& section : helpSections) {
        const QString heading = QString::fromUtf8(section.heading);
        parts << heading + '\n' + QString(heading.size(), '*') + '\n' + QString::fromUtf8(section.body);
    }
    return parts.join("\n\n") + '\n';
}

TdlgHelp::TdlgHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName("dlgHelp");
    setWindowTitle("Atlasdesk help");
    setSizeGripEnabled(true);
    resize(480, 469);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setPlainText(atlasdeskHelpText());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
}
