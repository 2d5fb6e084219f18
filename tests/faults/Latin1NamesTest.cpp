// File and folder names that are not UTF-8, as old servers hold them
// (Latin-1 bytes): listed readably, their metadata shown on the XML,
// Metadata and Thumbnail pages, and opened in their program with the bytes
// of their name unchanged.
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include "FaultSupport.h"
#include "TestPictures.h"
#include "WindowFaultFixture.h"

namespace {

using testutil::writeFile;

// A metadata document of an old server: declared and written in Latin-1.
std::string latin1Metadata(const std::string& title)
{
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<metadata><idinfo><citation><citeinfo><title>" + title +
           "</title></citeinfo></citation></idinfo><Binary><Thumbnail><Data>" + testutil::bmpBase64(3, 2) +
           "</Data></Thumbnail></Binary></metadata>\n";
}

class Latin1NamesTest : public WindowFaultFixture {
protected:
    void SetUp() override
    {
        WindowFaultFixture::SetUp();
        writeFile(m_tree / "r\xe9seau.shp", "shp");
        writeFile(m_tree / "r\xe9seau.shp.xml", latin1Metadata("R\xe9seau hydrographique"));
        writeFile(m_tree / "donn\xe9" "es/for\xeat.shp", "shp");
        writeFile(m_tree / "donn\xe9" "es/for\xeat.shp.xml", latin1Metadata("For\xeat domaniale"));
        writeFile(m_tree / "plain.shp", "shp");
    }
};

TEST_F(Latin1NamesTest, ListedWithTheirNamesReadable)
{
    window();
    QModelIndex root = connectAndExpand();
    EXPECT_EQ(childTexts(root), (QStringList{QString::fromUtf8("données"), "plain.shp", QString::fromUtf8("réseau.shp")}));
    QModelIndex folder = child(root, QString::fromUtf8("données"));
    ASSERT_TRUE(folder.isValid());
    expand(folder);
    waitForListings();
    EXPECT_EQ(childTexts(folder), QStringList{QString::fromUtf8("forêt.shp")});
    // Only the display is decoded: the paths keep the bytes.
    QModelIndex dataset = child(folder, QString::fromUtf8("forêt.shp"));
    ASSERT_TRUE(dataset.isValid());
    EXPECT_EQ(fileOf(dataset)->XMLPath, m_tree / "donn\xe9" "es/for\xeat.shp.xml");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(Latin1NamesTest, XmlPageShowsTheDocument)
{
    TdlgAtlasdesk& w = window();
    QModelIndex node = child(connectAndExpand(), QString::fromUtf8("réseau.shp"));
    ASSERT_TRUE(node.isValid());
    w.PageControl1->setCurrentWidget(w.tabXML);
    EXPECT_TRUE(pageAfter(w.wbXML, [&] { selectOnly(node); })) << "the raw view of the document";
    EXPECT_EQ(w.wbXML->lastLocalPath(), m_tree / "r\xe9seau.shp.xml");
    const QString text = pageText(w.wbXML);
    EXPECT_TRUE(text.contains(QString::fromUtf8("Réseau hydrographique"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("réseau.shp.xml"))) << "the heading names the file readably";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(Latin1NamesTest, MetadataPageShowsTheDocument)
{
    TdlgAtlasdesk& w = window();
    QModelIndex folder = child(connectAndExpand(), QString::fromUtf8("données"));
    ASSERT_TRUE(folder.isValid());
    expand(folder);
    waitForListings();
    QModelIndex node = child(folder, QString::fromUtf8("forêt.shp"));
    ASSERT_TRUE(node.isValid());
    w.PageControl1->setCurrentWidget(w.TabXSL);
    EXPECT_TRUE(pageAfter(w.wbXSL, [&] { selectOnly(node); })) << "rendered through the stylesheet";
    EXPECT_TRUE(pageText(w.wbXSL).contains(QString::fromUtf8("Forêt domaniale")));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(Latin1NamesTest, ThumbnailPageShowsThePicture)
{
    TdlgAtlasdesk& w = window();
    QModelIndex node = child(connectAndExpand(), QString::fromUtf8("réseau.shp"));
    ASSERT_TRUE(node.isValid());
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    selectOnly(node);
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(3, 2));
    EXPECT_EQ(w.edThbFilename->text(), QString::fromStdString(m_tree.path()) + QString::fromUtf8("réseau.shp"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A UTF-8 folder (as a newer server names it) holding a Latin-1 file name:
// each part of the path is read in its own encoding.
TEST_F(Latin1NamesTest, MixedPathReadsEachNameInItsOwnEncoding)
{
    writeFile(m_tree / "r\xc3\xa9seaux/for\xeat.shp", "shp");
    writeFile(m_tree / "r\xc3\xa9seaux/for\xeat.shp.xml", latin1Metadata("For\xeat mixte"));
    TdlgAtlasdesk& w = window();
    QModelIndex folder = child(connectAndExpand(), QString::fromUtf8("réseaux"));
    ASSERT_TRUE(folder.isValid());
    expand(folder);
    waitForListings();
    QModelIndex node = child(folder, QString::fromUtf8("forêt.shp"));
    ASSERT_TRUE(node.isValid());
    const QString shown = QString::fromStdString(m_tree.path()) + QString::fromUtf8("réseaux/forêt.shp");

    w.PageControl1->setCurrentWidget(w.tabXML);
    EXPECT_TRUE(pageAfter(w.wbXML, [&] { selectOnly(node); }));
    EXPECT_EQ(w.wbXML->lastPath(), shown + ".xml");
    const QString text = pageText(w.wbXML);
    EXPECT_TRUE(text.contains(shown + ".xml")) << "the heading: " << text.left(300).toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("Forêt mixte")));

    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.edThbFilename->text(), shown);
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(3, 2));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(Latin1NamesTest, OpenedInTheirProgramWithTheirBytes)
{
    TdlgAtlasdesk& w = window();
    useRecordingOpener();
    QModelIndex root = connectAndExpand();
    QModelIndex file = child(root, QString::fromUtf8("réseau.shp"));
    QModelIndex folder = child(root, QString::fromUtf8("données"));
    ASSERT_TRUE(file.isValid() && folder.isValid());
    expand(folder);
    waitForListings();
    QModelIndex inFolder = child(folder, QString::fromUtf8("forêt.shp"));
    ASSERT_TRUE(inFolder.isValid());
    for (QModelIndex node : {file, inFolder}) {
        selectOnly(node);
        w.OnMnuOpenFilesClick();
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(opened(), (std::vector<std::string>{m_tree / "r\xe9seau.shp", m_tree / "donn\xe9" "es/for\xeat.shp"}));
}

TEST_F(Latin1NamesTest, BrowserPaneLoadsAnHtmlFileByItsBytes)
{
    // HTML files are loaded by the browser itself, from a file: URL that
    // must carry the name's bytes.
    writeFile(m_tree / "journal_d'\xe9t\xe9.html",
              "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><p>Journal d'\xc3\xa9t\xc3\xa9</p>"
              "</body></html>");
    BrowserPane pane;
    pane.resize(400, 300);
    EXPECT_TRUE(pageAfter(&pane, [&] { pane.navigate(m_tree / "journal_d'\xe9t\xe9.html"); }));
    EXPECT_TRUE(pageText(&pane).contains(QString::fromUtf8("Journal d'été")));
    EXPECT_EQ(pane.lastLocalPath(), m_tree / "journal_d'\xe9t\xe9.html");
}

} // namespace
