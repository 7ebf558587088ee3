#include <QTest>
class MainWindowTest : public QObject { Q_OBJECT };
QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
