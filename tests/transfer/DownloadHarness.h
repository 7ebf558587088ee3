#pragma once

#include "DownloadJob.h"
#include "HistoryColour.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>
#include <optional>

// Runs downloads on a session thread of its own against a test server and records what they
// report: history lines as "colour<TAB>text", progress, messages and the commands sent.
class DownloadHarness
{
public:
    struct Outcome {
        bool connected = false;
        bool finished = false;     // the download ended in time
        QStringList lines;
        DownloadResult result;
        QList<QPair<qint64, qint64>> progress;
        QStringList messages;
        QStringList commands;      // "RETR a.txt", "CWD /pub", ...
        QString folderAfterwards;  // the server's current folder once the download has ended
    };

    explicit DownloadHarness(ConnectionSettings settings)
        : m_settings(std::move(settings))
    {
    }

    // Connects (the server then stands in "/"), calls beforeDownload (when given) on the test thread
    // and downloads rows of remoteFolder into targetFolder; without a remoteFolder, unconnected.
    Outcome download(const std::optional<QString>& remoteFolder, const QList<SelectedRow>& rows,
                     const QString& targetFolder, const std::function<void()>& beforeDownload = {}) const;

    // The connection values the download itself uses (it re-connects with them); by default the
    // ones it connected with first.
    void setDownloadSettings(ConnectionSettings settings) { m_downloadSettings = std::move(settings); }

private:
    ConnectionSettings m_settings;
    std::optional<ConnectionSettings> m_downloadSettings;
};
