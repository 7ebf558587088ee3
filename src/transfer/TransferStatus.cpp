#include "TransferStatus.h"

#include "TextCatalogue.h"

#include <QLocale>

#include <cmath>

namespace {

QString dataSize(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString duration(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const QString minutesAndSeconds = QStringLiteral("%1:%2").arg((seconds / 60) % 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
                                          .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minutesAndSeconds : minutesAndSeconds;
}

} // namespace

TransferStatus::TransferStatus(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("lblTransferStatus"));
}

void TransferStatus::report(const QString& name, qint64 done, qint64 total)
{
    // The rate is measured from the first report of a file on.
    if (name != m_name || done < m_startBytes) {
        m_name = name;
        m_startBytes = done;
        m_started.start();
    }
    const qint64 elapsed = m_started.elapsed();
    const double rate = elapsed > 0 ? double(done - m_startBytes) * 1000.0 / double(elapsed) : -1.0;
    setText(text(name, done, total, rate));
}

void TransferStatus::finish()
{
    m_name.clear();
    clear();
}

QString TransferStatus::text(const QString& name, qint64 done, qint64 total, double bytesPerSecond)
{
    const QString rate = bytesPerSecond >= 0 ? dataSize(qint64(bytesPerSecond)) + QStringLiteral("/s") : QStringLiteral("…");
    if (total <= 0)
        return getText("STATUS_TRANSFER_OPEN").arg(name, dataSize(done), rate);
    const QString left = bytesPerSecond > 0 ? duration(qint64(std::ceil(double(total - done) / bytesPerSecond)))
                                            : QStringLiteral("…");
    return getText("STATUS_TRANSFER").arg(name, dataSize(done), dataSize(total), rate, left);
}
