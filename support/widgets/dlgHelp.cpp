#include "support/widgets/dlgHelp.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QTabWidget>
#include <iterator>
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

const HelpSection windowSections[] = {
    {"Connecting to a server",
     "Choose Files > Connect to geodata server and one of the servers listed there, or New server... "
     "to pick any folder; a new folder is added to the list for next time.\n"
     "Started with a folder (atlasdesk /mnt/geodata), the program opens that folder at once; "
     "otherwise it opens the server you had open when you last closed it."},
    {"The tree and its pictures",
     "The tree shows the folders of the server and, in each, the data sets that have a known extension. "
     "A folder is read from disk the first time you expand it; Refresh (F5) reads it again.\n"
     "Pictures: a folder for a directory, vector shapes for vector data, a picture with a pencil for "
     "rasters, a globe for GIS files, a grid for tables, a page of text for documents, linked boxes "
     "for executables, a globe in an open box for the server itself."},
    {"Category boxes and greyed nodes",
     "The boxes under the tree (Vector, Raster, GIS files, Table, Document, Executable) choose the "
     "categories you want to see. The data sets of a cleared box are drawn grey and cannot be "
     "selected; checking the box again draws them normally. Directories are always shown.\n"
     "Items counts every node of the tree, Selected the nodes selected."},
    {"Double click and the pop-up commands",
     "A double click on a node selects it with everything below it. Ctrl+click adds or removes one "
     "node, Shift+click a range.\n"
     "The pop-up menu opens with the right mouse button, the Menu key or Shift+F10:\n"
     "- Expand all (Ctrl+E), Collapse all (Ctrl+Shift+E), Refresh (F5);\n"
     "- Select children (Ctrl+Shift+A), Unselect all (Ctrl+Shift+D);\n"
     "- Open file(s) (Ctrl+O, or Enter on a data set): opens the data files in their own programs;\n"
     "- Copy path (Ctrl+Shift+C): the paths of the selected data sets, one a line;\n"
     "- Show in file manager (Ctrl+Shift+O): the containing folder, with the item selected.\n"
     "Data sets can also be dragged out of the tree into a GIS program, a file manager or a terminal."},
    {"The three pages",
     "Metadata shows the metadata of the selected data set through the stylesheet chosen in Format:; "
     "the stylesheets are the *.xsl files beside the program, and you may add your own.\n"
     "Thumbnail shows the picture the metadata carries; XML shows the metadata document itself."},
    {"Where your files live",
     "The window's size and layout, the active page, the chosen format, the category boxes and the "
     "last server are kept for you in ~/.config/Atlasdesk/AtlasdeskView.ini. Delete that file to "
     "start afresh."},
};

// Sections as one text: headings underlined by asterisks, blank lines
// between sections.
QString sectionsText(const HelpSection* first, const HelpSection* last)
{
    QStringList parts;
    for (const HelpSection* section = first; section != last; ++section) {
        const QString heading = QString::fromUtf8(section->heading);
        parts << heading + '\n' + QString(heading.size(), '*') + '\n' + QString::fromUtf8(section->body);
    }
    return parts.join("\n\n") + '\n';
}

} // namespace

QString atlasdeskWindowHelpText()
{
    return sectionsText(std::begin(windowSections), std::end(windowSections));
}

QString atlasdeskHelpText()
{
    return sectionsText(std::begin(helpSections), std::end(helpSections));
}

TdlgHelp::TdlgHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName("dlgHelp");
    setWindowTitle("Atlasdesk help");
    setSizeGripEnabled(true);
    resize(480, 469);

    // Both texts in one window, a page each: installing and connecting as
    // before, and how the window itself is used.
    auto* pages = new QTabWidget(this);
    pages->setObjectName("pgHelp");
    auto memo = [pages](const char* name, const QString& text) {
        auto* m = new QPlainTextEdit(pages);
        m->setObjectName(name);
        m->setReadOnly(true);
        m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m->setPlainText(text);
        return m;
    };
    Memo1 = memo("Memo1", atlasdeskHelpText());
    memoWindow = memo("memoWindow", atlasdeskWindowHelpText());
    pages->addTab(Memo1, "&Installation and servers");
    pages->addTab(memoWindow, "&Using the window");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages);
}
