#pragma once

#include "HistoryColour.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>

class QWidget;

// Runs local work that may take long (the local delete) on a thread of its own, one piece at a
// time in the order started, so that the window stays responsive meanwhile. Local work never
// waits behind the server's jobs. Everything a piece reports arrives on the GUI thread in the
// order it was reported; its continuation runs there after it.
class LocalWorker : public QObject
{
    Q_OBJECT

public:
    // What running work may use.
    class Context
    {
    public:
        Context(LocalWorker& worker, const std::atomic<bool>& cancelled);

        void appendHistory(const QString& text, HistoryColour colour = HistoryColour::Black);
        void progress(qint64 done, qint64 total);
        // Shows an error box on the GUI thread and waits until it is closed (or the work stops).
        void showError(const QString& text);
        // True once the program is closing: return as soon as possible.
        bool isCancelled() const { return m_cancelled.load(); }
        const std::atomic<bool>& cancelFlag() const { return m_cancelled; }

    private:
        LocalWorker& m_worker;
        const std::atomic<bool>& m_cancelled;
    };

    // window parents the error boxes.
    explicit LocalWorker(QWidget* window, QObject* parent = nullptr);
    // Stops the running work and waits for it: it looks at its stop flag after every entry.
    ~LocalWorker() override;

    void start(std::function<void(Context&)> work, std::function<void()> done = {});
    bool isBusy() const { return m_pending > 0; }

Q_SIGNALS:
    void historyLine(const QString& text, HistoryColour colour);
    void progressChanged(qint64 done, qint64 total);
    // Every piece started has ended and its continuation has run.
    void idle();

private:
    void postToGui(std::function<void()> call);

    QWidget* m_window;
    QThreadPool m_pool;
    std::atomic<bool> m_stopping{false};
    int m_pending = 0; // GUI thread only
};
