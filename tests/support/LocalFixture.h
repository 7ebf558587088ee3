#pragma once

#include "CountingTypeProvider.h"
#include "EntryListModel.h"
#include "FakeRemoteServer.h"
#include "InlineJobRunner.h"
#include "LocalActions.h"
#include "LocalPane.h"
#include "RowTexts.h"
#include "ScriptedPrompter.h"
#include "TestHelpers.h"

#include <QAction>
#include <QComboBox>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

// The local pane with its actions over a folder of the test's own, uploading into the server in
// memory ("/pub" is the folder the remote pane shows): boxes answered by the script, every
// history line collected as "colour<TAB>text".
struct LocalFixture {
    explicit LocalFixture(const QString& drive)
    {
        runner.setMessageHandler([this](const MessageRequest& request) { return prompter.message(request, nullptr); });
        recordHistory(runner, lines, &pane);
        LocalEnvironment environment{[] { return ConnectionSettings{}; }, [] { return QStringLiteral("/pub"); },
                                     [this] { ++remoteRefreshes; }, recorderOf(lines),
                                     [] { return UploadType{TransferType::Auto, TransferFlag::Binary, {}}; }};
        actions = new LocalActions(pane, runner, environment, &pane);
        server.addFolder(QStringLiteral("/pub"));
        pane.resize(900, 600);
        pane.changeDrive(drive);
    }

    // Each row as "name|size|type|attributes".
    QStringList rows() const
    {
        using Model = EntryListModel;
        return rowTexts(*model(), {Model::NameColumn, Model::SizeColumn, Model::TypeColumn, Model::AttributeColumn});
    }

    int rowOf(const QString& name) const { return static_cast<int>(namesOf(pane.entries()).indexOf(name)); }

    // Selects the rows of names; the last becomes the current row.
    void select(const QStringList& names)
    {
        QItemSelectionModel* selection = detailView()->selectionModel();
        selection->clearSelection();
        for (const QString& name : names) {
            QVERIFY2(rowOf(name) >= 0, qPrintable(name));
            selection->setCurrentIndex(model()->index(rowOf(name), 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    void doubleClickRow(const QString& name)
    {
        // The view lays out its rows after a listing, when events are processed.
        QTRY_VERIFY(detailView()->visualRect(model()->index(rowOf(name), 0)).isValid());
        const QPoint centre = detailView()->visualRect(model()->index(rowOf(name), 0)).center();
        // A real double click starts with a click; QTest's double click alone sends no press.
        QTest::mouseClick(detailView()->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(detailView()->viewport(), Qt::LeftButton, {}, centre);
    }

    // The names of the tree's nodes below node (the drive's node when none is given).
    QStringList treeNames(const QTreeWidgetItem* node = nullptr) const
    {
        node = node ? node : tree()->topLevelItem(0);
        QStringList names;
        for (int i = 0; i < node->childCount(); ++i)
            names.append(node->child(i)->text(0));
        return names;
    }

    QTreeWidget* tree() const { return pane.findChild<QTreeWidget*>(QStringLiteral("trwPaths")); }
    QTreeView* detailView() const { return pane.listView()->detailView(); }
    QComboBox* pathBox() const { return pane.findChild<QComboBox*>(QStringLiteral("cboLocal")); }
    EntryListModel* model() const { return pane.model(); }

    ScriptedPrompter prompter;
    QStringList lines;
    FakeRemoteServer server;
    InlineJobRunner runner{server};
    CountingTypeProvider provider{{{QStringLiteral("txt"), QStringLiteral("Textdokument")}}};
    LocalPane pane{nullptr, &provider};
    LocalActions* actions = nullptr;
    int remoteRefreshes = 0;
};
