// The metadata form (layout, modified state, "Open in editor") and the
// selection change that feeds the views.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/CommandGuard.h"
#include "app/ServerTree.h"
#include "support/widgets/TextBox.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

// The three per-field operations. The form carries no data: reading gives
// the empty text and the other two change nothing; a fuller form keeps
// their calling order.
QString fieldText(int /*index*/)
{
    return {};
}
void fieldChanged(int /*index*/, bool /*changed*/) {}
void setFieldText(int /*index*/, const QString& /*text*/) {}

} // namespace

void TdlgAtlasdesk::buildFormPage()
{
    auto* pageLayout = new QVBoxLayout(tabForm);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    ScrollBox1 = new QScrollArea(tabForm);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(true);
    own(ScrollBox1, 0);
    pageLayout->addWidget(ScrollBox1);
    auto* content = new QWidget(ScrollBox1);
    auto* v = new QVBoxLayout(content);
    ScrollBox1->setWidget(content);

    auto* panel4 = new QFrame(content);
    panel4->setObjectName(QStringLiteral("Panel4"));
    own(panel4, 0);
    auto* p4 = new QHBoxLayout(panel4);
    lblProductName = new QLabel(panel4);
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    lblProductName->setAlignment(Qt::AlignCenter);
    QFont banner = lblProductName->font();
    banner.setBold(true);
    banner.setPointSizeF(banner.pointSizeF() * 1.5);
    lblProductName->setFont(banner);
    own(lblProductName, 0);
    p4->addWidget(lblProductName);
    v->addWidget(panel4);

    enum Kind { Edit, ReadOnlyEdit, Combo, FixedList };
    const struct {
        int tag;
        const char* name;
        Kind kind;
        const char* group;
        const char* label;
        bool organisation;
    } fields[] = {
        {1, "edPath", ReadOnlyEdit, "GroupBox1", "Path:", false},
        {2, "edFilename", ReadOnlyEdit, "GroupBox1", "Filename:", false},
        {3, "edProductName", Edit, "GroupBox1", "Title:", false},
        {4, "cbProductEdition", Combo, "GroupBox1", "Edition:", false},
        {5, "cbProductDescription", Combo, "GroupBox1", "Description:", false},
        {6, "cbProductURL", Combo, "GroupBox1", "URL:", false},
        {7, "edCreationDate", Edit, "GroupBox1", "Creation date:", false},
        {8, "edModifDate", Edit, "GroupBox1", "Modif. date:", false},
        {9, "edASITVD", Edit, "GroupBox1", "ASIT-VD #:", false},
        {10, "cbCreatorName", Combo, "GroupBox4", "Name:", true},
        {11, "edCreatorLongName", Edit, "GroupBox4", "Long name:", false},
        {12, "edCreatorURL", Edit, "GroupBox4", "URL:", false},
        {13, "cbProviderName", Combo, "GroupBox3", "Name:", true},
        {14, "edProviderLongName", Edit, "GroupBox3", "Long name:", false},
        {15, "edProviderURL", Edit, "GroupBox3", "URL:", false},
        {16, "cbRights", Combo, "GroupBox2", "Rights:", false},
        {17, "cbRightURL", Combo, "GroupBox2", "URL:", false},
        {23, "cbRightType", FixedList, "GroupBox2", "Type:", false},
        {18, "cbRemarks", Combo, "GroupBox5", "Remarks:", false},
        {19, "cbUnit", Combo, "GroupBox5", "Unit:", false},
        {20, "cbScale", Combo, "GroupBox5", "Scale:", false},
        {21, "cbTheme", Combo, "GroupBox7", "Theme:", false},
        {22, "cbLocation", Combo, "GroupBox7", "Location:", false},
    };
    const struct {
        const char* name;
        const char* caption;
    } groups[] = {{"GroupBox1", "&Product"},         {"GroupBox4", "&Creator"},
                  {"GroupBox3", "Pro&vider"},        {"GroupBox2", "&Use constraints"},
                  {"GroupBox5", "&Information"},     {"GroupBox7", "&Key words"}};
    QMap<QString, QFormLayout*> groupLayouts;
    for (const auto& g : groups) {
        auto* box = new QGroupBox(QString::fromUtf8(g.caption), content);
        box->setObjectName(QLatin1String(g.name));
        own(box, 1);
        auto* form = new QFormLayout(box);
        form->setLabelAlignment(Qt::AlignRight);
        groupLayouts.insert(QLatin1String(g.name), form);
        v->addWidget(box);
    }
    QVector<QWidget*> byTag(24, nullptr);
    for (const auto& f : fields) {
        QFormLayout* form = groupLayouts.value(QLatin1String(f.group));
        QWidget* parent = form->parentWidget();
        QWidget* w = nullptr;
        if (f.kind == Edit || f.kind == ReadOnlyEdit) {
            auto* e = new QLineEdit(parent);
            if (f.kind == ReadOnlyEdit) {
                e->setReadOnly(true);
                e->setBackgroundRole(QPalette::Button);
            }
            connect(e, &QLineEdit::textChanged, this, [] { /* OnFieldChange: nothing */ });
            w = e;
        } else {
            auto* c = new QComboBox(parent);
            if (f.kind == Combo) {
                c->setEditable(true);
                c->setInsertPolicy(QComboBox::InsertAlphabetically);
                connect(c, &QComboBox::editTextChanged, this, [] { /* OnFieldChange */ });
            } else {
                c->addItems({QStringLiteral("0: Free use"), QStringLiteral("1: Mixed restrictions"),
                             QStringLiteral("2: Restricted to teaching and research"),
                             QStringLiteral("3: Restricted to research"),
                             QStringLiteral("4: Restricted to research under contract with data provider")});
                connect(c, &QComboBox::currentIndexChanged, this, [] { /* OnFieldChange */ });
            }
            // OnFieldSelect / OnFieldOrganisationComboSelect: nothing.
            connect(c, &QComboBox::activated, this, [] {});
            w = c;
        }
        w->setObjectName(QLatin1String(f.name));
        w->setToolTip(QStringLiteral("Metadata field"));
        own(w, f.tag);
        if (f.tag > 2) {
            w->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint& pos) {
                m_popFormTarget = w;
                popForm->popup(w->mapToGlobal(pos));
            });
        }
        auto* label = new QLabel(QString::fromUtf8(f.label), parent);
        label->setBuddy(w);
        own(label, 0);
        form->addRow(label, w);
        byTag[f.tag] = w;
    }
    for (int tag = 1; tag <= 23; ++tag)
        formFields.append(byTag[tag]);

    auto* panel5 = new QFrame(content);
    panel5->setObjectName(QStringLiteral("Panel5"));
    own(panel5, 0);
    auto* row = new QHBoxLayout(panel5);
    ckUpdatePathFile = new QCheckBox(QStringLiteral("&Update path/file information"), panel5);
    ckUpdatePathFile->setObjectName(QStringLiteral("ckUpdatePathFile"));
    ckUpdatePathFile->setChecked(true);
    own(ckUpdatePathFile, 0);
    row->addWidget(ckUpdatePathFile);
    row->addStretch(1);
    auto button = [&](QPushButton** slot, const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, panel5);
        b->setObjectName(QLatin1String(name));
        own(b, 0);
        row->addWidget(b);
        *slot = b;
        return b;
    };
    button(&btCopyFromTopNode, "btCopyFromTopNode", QStringLiteral("&Copy from top node"));
    button(&btRefresh, "btRefresh", QStringLiteral("&Refresh"));
    button(&btAdd, "btAdd", QStringLiteral("&Add"))->setEnabled(false);
    button(&btSave, "btSave", QStringLiteral("&Save"))->setEnabled(false);
    btSave->setDefault(true);
    button(&btUpdatePathFile, "btUpdatePathFile", QStringLiteral("&Update path/file"));
    v->addWidget(panel5);
    v->addStretch(1);
}

void TdlgAtlasdesk::SetFormModified(bool modified)
{
    FormModified = modified;
    btSave->setEnabled(modified);
}

void TdlgAtlasdesk::OntvXMLTreeSelect()
{
    // Deselections made while handling a change (greyed nodes dropped) and
    // the single additions of a batch are not changes of their own.
    if (m_inSelectionHandler || m_batchSelecting)
        return;
    m_inSelectionHandler = true;
    runCommand(this, [this] {
        if (FormModified && SelectedFiles.size() <= 1) {
            const auto answer = QMessageBox::warning(
                this, QStringLiteral("Atlasdesk"),
                QStringLiteral("Changes to metadata will be discarded. Do you wish to proceed?"),
                QMessageBox::Ok | QMessageBox::Cancel);
            if (answer != QMessageBox::Ok)
                return;
            SetFormModified(false);
        }
        CleanSelection();
        SelectedFiles.clear();
        SelectedFiles.reserve(static_cast<size_t>(tvXMLTree->selectionCount()));
        for (const QModelIndex& node : tvXMLTree->selectionOrder())
            SelectedFiles.push_back(tvXMLTree->file(node));
        // The Form, Options, Rename and Chartroom pages are not redrawn.
        redrawView(PageControl1->currentWidget());
    });
    m_inSelectionHandler = false;
}

void TdlgAtlasdesk::mnuOpenInEditorClick()
{
    runCommand(this, [this] {
        QWidget* target = m_popFormTarget;
        if (!target)
            return;
        const int i = target->property("Tag").toInt() - 1;
        QString v = fieldText(i);
        const QString title = target->objectName().mid(2);
        const int r = EditTextInBox(title, v);
        if (r == QDialog::Accepted) {
            const QString c = fieldText(i);
            if (c != v) {
                fieldChanged(i, true);
                setFieldText(i, v);
            }
        }
    });
}
