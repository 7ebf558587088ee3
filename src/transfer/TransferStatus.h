#pragma once

#include <QElapsedTimer>
#include <QLabel>

// The status line of a running transfer: the file, bytes done of bytes total, the rate and the
// time left, from the reports of the job (a few a second).
class TransferStatus : public QLabel
{
    Q_OBJECT

public:
    explicit TransferStatus(QWidget* parent = nullptr);

    // A report on the file name: done of total bytes (total 0 when unknown).
    void report(const QString& name, qint64 done, qint64 total);
    // The work has ended: the line empties.
    void finish();

    // The line for a report; bytesPerSecond < 0 when no rate is known yet.
    static QString text(const QString& name, qint64 done, qint64 total, double bytesPerSecond);

private:
    QString m_name;
    qint64 m_startBytes = 0;
    QElapsedTimer m_started;
};
