#include "support/widgets/dlgAbout.h"
#include "support/widgets/dlgHelp.h"

#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QPushButton>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

// ---- About box ----

TEST(AboutBox, ShowsTheCompiledVersion)
{
    TdlgAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About Atlasdesk");
    EXPECT_EQ(box.lblTitle->text(), "Atlasdesk 1.2");
    EXPECT_EQ(box.lblEdition->text(), "View edition");
    EXPECT_EQ(box.lblVersion->text(), "Version 1.2.0.48");
    EXPECT_EQ(box.btOK->text(), "OK");
    EXPECT_TRUE(box.btOK->isDefault());
}

TEST(AboutBox, Layout)
{
    TdlgAboutBox box;
    EXPECT_EQ(box.size(), QSize(395, 242));
    EXPECT_EQ(box.minimumSize(), QSize(395, 242));
    EXPECT_EQ(box.maximumSize(), QSize(395, 242));
    EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);

    const struct {
        QLabel* label;
        int pixelSize;
    } captions[] = {{box.lblTitle, 27}, {box.lblEdition, 19}, {box.lblVersion, 16}};
    int previousBottom = -1;
    for (const auto& c : captions) {
        SCOPED_TRACE(c.label->objectName().toStdString());
        EXPECT_EQ(c.label->font().pixelSize(), c.pixelSize);
        EXPECT_TRUE(c.label->font().bold());
        EXPECT_TRUE(c.label->font().families().contains("Times New Roman"));
        EXPECT_EQ(c.label->alignment(), Qt::AlignCenter);
        EXPECT_GE(c.label->x(), box.Image1->geometry().right());
        EXPECT_GT(c.label->y(), previousBottom);
        previousBottom = c.label->geometry().bottom();
    }

    EXPECT_EQ(box.Image1->geometry(), QRect(0, 0, 145, 145));
    EXPECT_GE(box.memCredits->y(), box.Image1->geometry().bottom());
    EXPECT_EQ(box.memCredits->toPlainText().split('\n').size(), 3);
    EXPECT_TRUE(box.memCredits->isReadOnly());
    EXPECT_EQ(box.btOK->geometry().center().x(), 395 / 2);
    EXPECT_GE(box.btOK->y(), box.memCredits->geometry().bottom());
}

TEST(AboutBox, OKClosesWithAccepted)
{
    TdlgAboutBox box;
    box.show();
    box.btOK->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, LogoAtEveryPixelRatio)
{
    for (qreal ratio : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(ratio);
        const QPixmap logo = atlasdeskLogo(ratio);
        EXPECT_EQ(logo.deviceIndependentSize(), QSizeF(128, 128));
        EXPECT_EQ(logo.width(), qRound(128 * ratio));
        const QImage image = logo.toImage();
        // Drawn globe in the middle, transparent corners.
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2).alpha(), 255);
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(image.pixelColor(0, image.height() - 1).alpha(), 0);
    }
}

// ---- Help window ----

TEST(HelpWindow, SectionsWithUnderlinedHeadings)
{
    TdlgHelp help;
    EXPECT_EQ(help.windowTitle(), "Atlasdesk help");
    EXPECT_EQ(help.size(), QSize(480, 469));
    EXPECT_TRUE(help.Memo1->isReadOnly());
    EXPECT_EQ(help.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    const QStringList lines = help.Memo1->toPlainText().split('\n');
    QStringList headings;
    for (int i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty() && lines[i] == QString(lines[i].size(), '*')) {
            EXPECT_EQ(lines[i].size(), lines[i - 1].size()) << "underline of " << lines[i - 1].toStdString();
            headings << lines[i - 1];
        }
    }
    EXPECT_EQ(headings, QStringList({"Installation procedure", "Mandatory files",
                                     "How to connect to a remote data server", "Contact"}));
}

TEST(HelpWindow, SectionContents)
{
    const QString text = atlasdeskHelpText();
    const auto section = [&text](const QString& heading, const QString& next) {
        const qsizetype from = text.indexOf(heading);
        const qsizetype to = next.isEmpty() ? text.size() : text.indexOf(next);
        return from < 0 || to < from ? QString() : text.mid(from, to - from);
    };
    const struct {
        QString heading, next;
        QStringList mentions;
    } cases[] = {
        {"Installation procedure", "Mandatory files", {"README", "one folder", "AtlasdeskView"}},
        {"Mandatory files",
         "How to connect",
         {"AtlasdeskView,", "\"AtlasdeskView.ini.xml\"", "*.xsl", "\"~Last Used.xsl\""}},
        {"How to connect to a remote data server",
         "Contact",
         {"read access", "Connect to Server", "/etc/fstab", "mount -t cifs", "/mnt/geodata",
          "Files > Connect to geodata server > New server...", "OK"}},
        {"Contact", "", {"geodata@atlasdesk.org"}},
    };
    for (const auto& c : cases) {
        const QString body = section(c.heading, c.next);
        ASSERT_FALSE(body.isEmpty()) << c.heading.toStdString();
        for (const QString& mention : c.mentions)
            EXPECT_TRUE(body.contains(mention)) << c.heading.toStdString() << ": " << mention.toStdString();
    }
    EXPECT_FALSE(text.contains(".exe"));
    EXPECT_FALSE(text.contains("My computer"));
}

TEST(HelpWindow, ASecondPageExplainsTheWindow)
{
    TdlgHelp help;
    ASSERT_NE(help.memoWindow, nullptr);
    EXPECT_TRUE(help.memoWindow->isReadOnly());
    EXPECT_EQ(help.memoWindow->toPlainText(), atlasdeskWindowHelpText());
    EXPECT_EQ(help.Memo1->toPlainText(), atlasdeskHelpText()) << "the first text stays as it was";
    auto* pages = help.findChild<QTabWidget*>("pgHelp");
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->count(), 2);

    const QString text = atlasdeskWindowHelpText();
    const QStringList lines = text.split('\n');
    QStringList headings;
    for (int i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty() && lines[i] == QString(lines[i].size(), '*')) {
            EXPECT_EQ(lines[i].size(), lines[i - 1].size()) << "underline of " << lines[i - 1].toStdString();
            headings << lines[i - 1];
        }
    EXPECT_EQ(headings, QStringList({"Connecting to a server", "The tree and its pictures",
                                     "Category boxes and greyed nodes", "Double click and the pop-up commands",
                                     "The three pages", "Where your files live"}));
    // What each part of the window is, and the keys of every pop-up command.
    for (const char* mention : {"New server...", "atlasdesk /mnt/geodata", "Refresh (F5)", "globe",
                                "drawn grey", "Directories are always shown", "Menu key", "Shift+F10",
                                "Expand all (Ctrl+E)", "Collapse all (Ctrl+Shift+E)", "Select children (Ctrl+Shift+A)",
                                "Unselect all (Ctrl+Shift+D)", "Open file(s) (Ctrl+O", "Copy path (Ctrl+Shift+C)",
                                "Show in file manager (Ctrl+Shift+O)", "Format:", "*.xsl", "Thumbnail", "XML",
                                "~/.config/Atlasdesk/AtlasdeskView.ini"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(mention))) << mention;
}

// ---- Object names ----

TEST(SupportWindows, ObjectNames)
{
    TdlgAboutBox about;
    TdlgHelp help;
    const struct {
        const QWidget* window;
        QStringList names;
    } cases[] = {
        {&about, {"Image1", "lblTitle", "lblEdition", "lblVersion", "memCredits", "btOK"}},
        {&help, {"Memo1"}},
    };
    for (const auto& c : cases)
        for (const QString& name : c.names)
            EXPECT_NE(c.window->findChild<QObject*>(name), nullptr)
                << c.window->objectName().toStdString() << ": " << name.toStdString();
    EXPECT_EQ(about.objectName(), "dlgAboutBox");
    EXPECT_EQ(help.objectName(), "dlgHelp");
}

} // namespace
