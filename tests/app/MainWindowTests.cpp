#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QThread>

#include "AppFixture.h"
#include "support/widgets/TextBox.h"

namespace {

QStringList visibleCaptions(const QList<QAction*>& actions)
{
    QStringList captions;
    for (QAction* a : actions)
        if (a->isVisible())
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return captions;
}

QStringList tabCaptions(QTabWidget* pages)
{
    QStringList captions;
    for (int i = 0; i < pages->count(); ++i)
        if (pages->isTabVisible(i))
            captions << pages->tabText(i);
    return captions;
}

using MainWindowTest = AppFixture;

TEST_F(MainWindowTest, ViewEditionShowsOnlyItsCommandsAndPages)
{
    TdlgAtlasdesk& w = window();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(visibleCaptions(w.menuBar()->actions()),
              (QStringList{"&Files", "&Help"}));
    EXPECT_EQ(visibleCaptions(w.popXMLTree->actions()),
              (QStringList{"&Expand all", "&Collapse all", "&Refresh", "&Select children",
                           "&Unselect all", "&Open file(s)", "Copy path", "Show in file manager"}));
    EXPECT_EQ(visibleCaptions(w.findChild<QMenu*>("mnuHelp")->actions()),
              (QStringList{"&Help...", "&About..."}));
    EXPECT_EQ(visibleCaptions(w.mnuConnectToXML->actions()),
              (QStringList{"&New server...", "/srv/A", "/srv/b"}))
        << "server entries sorted by byte value after New server";
    EXPECT_EQ(tabCaptions(w.PageControl1),
              (QStringList{"&Form", "&Metadata", "Thumbnail", "&XML"}))
        << "pages of Tag 0 have no tab";
    EXPECT_TRUE(w.Panel1->isHidden()) << "status line";
    EXPECT_TRUE(w.wbOutput->isHidden());
    EXPECT_TRUE(w.edThbThumbnail->isHidden());
    EXPECT_FALSE(w.edThbFilename->isHidden());
    EXPECT_TRUE(w.ScrollBox1->isHidden());
    EXPECT_EQ(w.windowTitle(), "Atlasdesk.View");
    EXPECT_EQ(w.mnuHelpHelp->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(w.mnuRefresh->shortcut(), QKeySequence(Qt::Key_F5));
}

TEST_F(MainWindowTest, EveryActivationHidesTheFormTab)
{
    TdlgAtlasdesk& w = window();
    EXPECT_EQ(w.PageControl1->currentWidget(), w.tabForm) << "start-up makes page 0 active";
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&w, &activate);
    EXPECT_FALSE(w.PageControl1->isTabVisible(0));
    EXPECT_EQ(w.PageControl1->currentWidget(), w.TabXSL);
    w.PageControl1->setTabVisible(0, true);
    QApplication::sendEvent(&w, &activate);
    EXPECT_FALSE(w.PageControl1->isTabVisible(0)) << "and again on a later activation";
}

TEST_F(MainWindowTest, StylesheetListIsSortedWithoutRegardToCase)
{
    testutil::writeFile(m_program / "b.xsl", kPlainStylesheet);
    testutil::writeFile(m_program / "A.xsl", kPlainStylesheet);
    testutil::writeFile(m_program / "notes.txt", "x");
    std::filesystem::remove(m_program / "plain.xsl");
    TdlgAtlasdesk& w = window();
    QStringList items;
    for (int i = 0; i < w.cbXslFormat->count(); ++i)
        items << w.cbXslFormat->itemText(i);
    EXPECT_EQ(items, (QStringList{"A.xsl", "b.xsl"}));
    EXPECT_EQ(w.cbXslFormat->currentIndex(), 0);
}

TEST_F(MainWindowTest, NoStylesheetGivesNoSelection)
{
    std::filesystem::remove(m_program / "plain.xsl");
    TdlgAtlasdesk& w = window();
    EXPECT_EQ(w.cbXslFormat->count(), 0);
    EXPECT_EQ(w.cbXslFormat->currentIndex(), -1);
}

TEST_F(MainWindowTest, MissingConfigurationIsReportedAndEndsStartUp)
{
    std::filesystem::remove(m_program / "AtlasdeskView.ini.xml");
    TdlgAtlasdesk& w = window();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_errors[0], QString::fromStdString("An error occured while loading " +
                                                  m_program.path() + "AtlasdeskView.ini.xml."));
    EXPECT_EQ(w.windowTitle(), "Atlasdesk") << "the edition rule never ran";
    EXPECT_TRUE(w.ShownCategories.isEmpty());
    EXPECT_EQ(w.cbXslFormat->count(), 0);
    EXPECT_EQ(w.mnuConnectToXML->actions().size(), 1) << "no server entries";
}

TEST_F(MainWindowTest, ErrorBoxAppendsAFullStopAfterLettersAndDigits)
{
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Invalid index", "Invalid index."},
        {"Couldn't launch external application, error code:2",
         "Couldn't launch external application, error code:2."},
        {"File 'x' not found.", "File 'x' not found."},
        {"Several nodes correspond to the XPath to be cleared.",
         "Several nodes correspond to the XPath to be cleared."},
        {"Really?", "Really?."},          // "?" sorts after "."
        {"end with a dash -", "end with a dash -"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown));
}

TEST_F(MainWindowTest, CaptionNamesTheRootAfterConnecting)
{
    TdlgAtlasdesk& w = window();
    EXPECT_EQ(w.windowTitle(), "Atlasdesk.View");
    w.ConnectToServer(m_tree.path() + "sub dir");
    EXPECT_EQ(w.windowTitle().toStdString(), "Atlasdesk.View - " + m_tree.path() + "sub dir");
    w.SetEditionTitle("Atlasdesk.View");
    EXPECT_EQ(w.windowTitle().toStdString(), "Atlasdesk.View - " + m_tree.path() + "sub dir");
}

TEST_F(MainWindowTest, StatusDisplay)
{
    TdlgAtlasdesk& w = window();
    EXPECT_EQ(w.lblTask->text(), "Ready:");
    w.StartTask("Uploading chartroom:", 4);
    EXPECT_EQ(w.lblTask->text(), "Uploading chartroom:");
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    w.ShowProgress(3);
    EXPECT_EQ(w.ggTask->value(), 3);
    w.ShowReady();
    EXPECT_EQ(w.lblTask->text(), "Ready") << "without the colon";
    EXPECT_EQ(w.ggTask->value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Long commands report every step, but the window handles its events at
// the first step of a task and then only now and then: the web views'
// engine runs on this thread and would otherwise cost more than each step.
TEST_F(MainWindowTest, ProgressHandlesEventsAtTheFirstStepThenNowAndThen)
{
    TdlgAtlasdesk& w = window();
    int handled = 0;
    const auto post = [&] { QMetaObject::invokeMethod(&w, [&] { ++handled; }, Qt::QueuedConnection); };

    w.StartTask("Uploading chartroom:", 100);
    post();
    w.ShowProgress(0);
    EXPECT_EQ(handled, 1) << "the first step of a task";
    post();
    for (int i = 1; i < 50; ++i)
        w.ShowProgress(i);
    EXPECT_EQ(w.ggTask->value(), 49) << "the gauge follows every step";
    EXPECT_LE(handled, 2);
    QThread::msleep(40);
    w.ShowProgress(50);
    EXPECT_EQ(handled, 2) << "events wait no longer than a moment";

    w.StartTask("Uploading chartroom:", 100);
    post();
    w.ShowProgress(0);
    EXPECT_EQ(handled, 3) << "a new task starts with its events handled";
    w.ShowReady();
}

TEST_F(MainWindowTest, RenameCaptionCountsSelectedNodes)
{
    TdlgAtlasdesk& w = window();
    w.OnTabRenameShow();
    EXPECT_EQ(w.grpRename->title(), "Rename 0 files");
    w.ConnectToServer(m_tree.path());
    w.OnTabRenameShow();
    EXPECT_EQ(w.grpRename->title(), "Rename 1 files");
}

TEST_F(MainWindowTest, OpenInEditorIsTitledAfterTheFieldAndKeepsNothing)
{
    TdlgAtlasdesk& w = window();
    QString title;
    whenModal([&title](QWidget* modal) {
        title = modal->windowTitle();
        auto* box = qobject_cast<TTextBox*>(modal);
        ASSERT_NE(box, nullptr);
        box->btOK->click();
    });
    auto* field = w.findChild<QWidget*>("cbRightType");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->property("Tag").toInt(), 23);
    emit field->customContextMenuRequested(QPoint(1, 1));
    w.popForm->close();
    w.mnuOpenInEditor->trigger();
    EXPECT_EQ(title, "RightType");
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MainWindowTest, FormFieldsCarryTheirNumbers)
{
    TdlgAtlasdesk& w = window();
    ASSERT_EQ(w.formFields.size(), 23);
    const char* names[] = {"edPath", "edFilename", "edProductName", "cbProductEdition",
                           "cbProductDescription", "cbProductURL", "edCreationDate",
                           "edModifDate", "edASITVD", "cbCreatorName", "edCreatorLongName",
                           "edCreatorURL", "cbProviderName", "edProviderLongName",
                           "edProviderURL", "cbRights", "cbRightURL", "cbRemarks", "cbUnit",
                           "cbScale", "cbTheme", "cbLocation", "cbRightType"};
    for (int i = 0; i < 23; ++i) {
        EXPECT_EQ(w.formFields[i]->objectName(), names[i]);
        EXPECT_EQ(w.formFields[i]->property("Tag").toInt(), i + 1);
        EXPECT_EQ(w.formFields[i]->toolTip(), "Metadata field");
    }
    auto* rightType = qobject_cast<QComboBox*>(w.formFields[22]);
    ASSERT_NE(rightType, nullptr);
    EXPECT_FALSE(rightType->isEditable());
    EXPECT_EQ(rightType->itemText(4), "4: Restricted to research under contract with data provider");
    EXPECT_FALSE(w.btSave->isEnabled());
    w.SetFormModified(true);
    EXPECT_TRUE(w.btSave->isEnabled());
}

} // namespace
