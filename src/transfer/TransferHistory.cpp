#include "TransferHistory.h"

#include "TextCatalogue.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QMenu>
#include <QMimeData>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

// The history's colours; the engine knows them only by name.
QColor toColor(HistoryColour colour)
{
    switch (colour) {
    case HistoryColour::Green:
        return {0, 200, 0};
    case HistoryColour::Red:
        return {200, 0, 0};
    case HistoryColour::Blue:
        return {0, 0, 200};
    case HistoryColour::Black:
        break;
    }
    return {0, 0, 0};
}

} // namespace

TransferHistory::TransferHistory(QWidget* parent)
    : QWidget(parent)
    , m_frame(new QGroupBox(QStringLiteral("Verbindungs- und Übertragungsablauf"), this))
    , m_text(new QTextEdit(m_frame))
    , m_menu(new QMenu(this))
{
    setObjectName(QStringLiteral("frmTransferHistory"));
    m_frame->setObjectName(QStringLiteral("fraTransferHistory"));
    m_text->setObjectName(QStringLiteral("rtfTransferHistory"));
    // The log is only appended to by the program; the user may still move the caret and select.
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_text->setAcceptRichText(false);
    m_text->setUndoRedoEnabled(false);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    m_text->setFont(font);

    auto* frameLayout = new QVBoxLayout(m_frame);
    frameLayout->setContentsMargins(4, 4, 4, 4);
    frameLayout->addWidget(m_text);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_frame);

    m_menu->setObjectName(QStringLiteral("mnu"));
    m_copyAction = m_menu->addAction(QStringLiteral("Inhalt in Zwischenablage kopieren"), this, &TransferHistory::copyAll);
    m_copyAction->setObjectName(QStringLiteral("mnuClipboard"));
    m_menu->addSeparator()->setObjectName(QStringLiteral("mnuTrennlinie1"));
    m_clearAction = m_menu->addAction(QStringLiteral("Inhalt löschen"), this, &TransferHistory::clear);
    m_clearAction->setObjectName(QStringLiteral("mnuLoeschen"));
    m_menu->setDefaultAction(m_copyAction);

    m_text->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_text, &QWidget::customContextMenuRequested, this, &TransferHistory::showContextMenu);
    // Soon enough to read as it happens.
    m_flush.setSingleShot(true);
    m_flush.setInterval(50);
    connect(&m_flush, &QTimer::timeout, this, &TransferHistory::flush);
}

void TransferHistory::retranslate()
{
    const QString caption = getText("FRMTH_FRACAPTION");
    m_frame->setTitle(caption);
    setWindowTitle(caption);
    m_text->setAccessibleName(caption);
    m_text->setAccessibleDescription(getText("DESC_HISTORY"));
    m_copyAction->setText(getText("FRMPU_TRANS_CLIP"));
    m_clearAction->setText(getText("FRMPU_TRANS_DELETE"));
}

void TransferHistory::moveToEnd()
{
    flush();
    QTextCursor cursor = m_text->textCursor();
    cursor.movePosition(QTextCursor::End);
    m_text->setTextCursor(cursor);
}

void TransferHistory::append(const QString& text, HistoryColour colour)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    line.append(QLatin1Char('\n'));
    m_pending.append({line, colour});
    if (!m_flush.isActive())
        m_flush.start();
}

void TransferHistory::flush() const
{
    m_flush.stop();
    if (m_pending.isEmpty())
        return;
    QTextCursor cursor(m_text->document());
    cursor.movePosition(QTextCursor::End);
    // One edit: one layout of the new lines, whatever their number.
    cursor.beginEditBlock();
    for (const auto& [line, colour] : std::as_const(m_pending)) {
        QTextCharFormat format;
        format.setForeground(toColor(colour));
        // insertText never interprets markup; the format carries the colour of this line only.
        cursor.insertText(line, format);
    }
    cursor.endEditBlock();
    m_pending.clear();
    m_text->setTextCursor(cursor);
    m_text->setCurrentCharFormat(QTextCharFormat());
    m_text->ensureCursorVisible();
}

QTextEdit* TransferHistory::textEdit() const
{
    flush();
    return m_text;
}

void TransferHistory::clear()
{
    m_flush.stop();
    m_pending.clear();
    m_text->clear();
}

void TransferHistory::copyAll()
{
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    flush();
    if (m_text->document()->isEmpty())
        return;
    auto* mimeData = new QMimeData;
    mimeData->setText(m_text->toPlainText());
    mimeData->setHtml(m_text->toHtml());
    clipboard->setMimeData(mimeData);
}

QString TransferHistory::plainText() const
{
    flush();
    return m_text->toPlainText();
}

void TransferHistory::showContextMenu(const QPoint& position)
{
    m_menu->popup(m_text->viewport()->mapToGlobal(position), m_copyAction);
}
