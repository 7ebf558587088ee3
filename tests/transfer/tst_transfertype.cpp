#include "TransferTypeSelector.h"

#include <QAction>
#include <QComboBox>
#include <QTest>

class TransferTypeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_combo = std::make_unique<QComboBox>();
        m_ascii = std::make_unique<QAction>();
        m_binary = std::make_unique<QAction>();
        m_auto = std::make_unique<QAction>();
        m_auto->setCheckable(true);
        m_auto->setChecked(true);
        m_selector = std::make_unique<TransferTypeSelector>(m_combo.get(), m_ascii.get(), m_binary.get(), m_auto.get());
        m_combo->addItems({QStringLiteral("ASCII"), QStringLiteral("BINARY"), QStringLiteral("AUTO")});
        m_combo->setCurrentIndex(2);
    }

    QList<bool> checks() const { return {m_ascii->isChecked(), m_binary->isChecked(), m_auto->isChecked()}; }

    void startUpOnlySetsBinary()
    {
        m_combo->setCurrentIndex(0);
        QCOMPARE(m_selector->transferFlag(), TransferFlag::Binary);
        QCOMPARE(checks(), (QList<bool>{false, false, true}));
    }

    void menuItemsAndComboStayInStep_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("flag");
        QTest::newRow("ascii") << 0 << 1;
        QTest::newRow("binary") << 1 << 2;
        QTest::newRow("auto") << 2 << 2;
    }

    void menuItemsAndComboStayInStep()
    {
        QFETCH(int, type);
        QFETCH(int, flag);
        m_selector->setStartingUp(false);
        QAction* items[] = {m_ascii.get(), m_binary.get(), m_auto.get()};
        items[type]->trigger();
        QCOMPARE(m_combo->currentIndex(), type);
        QCOMPARE(static_cast<int>(m_selector->transferFlag()), flag);
        QList<bool> expected = {false, false, false};
        expected[type] = true;
        QCOMPARE(checks(), expected);
    }

    void comboChoiceAfterStartUpSelectsEverywhere()
    {
        m_selector->setStartingUp(false);
        m_combo->setCurrentIndex(0);
        QCOMPARE(m_selector->transferFlag(), TransferFlag::Ascii);
        QCOMPARE(checks(), (QList<bool>{true, false, false}));
        m_combo->setCurrentIndex(2);
        QCOMPARE(m_selector->transferFlag(), TransferFlag::Binary);
        QCOMPARE(m_selector->transferType(), TransferType::Auto);
        QCOMPARE(checks(), (QList<bool>{false, false, true}));
    }

private:
    std::unique_ptr<QComboBox> m_combo;
    std::unique_ptr<QAction> m_ascii, m_binary, m_auto;
    std::unique_ptr<TransferTypeSelector> m_selector;
};

QTEST_MAIN(TransferTypeTest)
#include "tst_transfertype.moc"
