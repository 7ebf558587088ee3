#pragma once

#include "FtpServerFixture.h"
#include "HistoryColour.h"
#include "JobContext.h"
#include "JobRunner.h"
#include "RemoteOperations.h"
#include "TextCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <functional>
#include <initializer_list>

// Small helpers most suites share. Waits are generous: the machine running the tests is shared.
constexpr int jobTimeout = 60'000;

#ifdef LANG_DB_PATH
// Opens the delivered texts in language.
inline void useCatalogue(const char* language)
{
    TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
    TextCatalogue::instance().setChosenTable(QString::fromLatin1(language));
}
#endif

// The names of entries or rows, in their order.
template <typename Container>
QStringList namesOf(const Container& items)
{
    QStringList names;
    for (const auto& item : items)
        names.append(item.name);
    return names;
}

// A list of names written as plain literals: strings({"..", "docs"}).
inline QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList result;
    for (const char* text : texts)
        result.append(QString::fromUtf8(text));
    return result;
}

// A column of the current data row, for a value used once: testData<QStringList>("gone").
template <typename T>
T testData(const char* column)
{
    return *static_cast<T*>(QTest::qData(column, qMetaTypeId<T>()));
}

// A history line as the tests compare them: "colour<TAB>text".
inline QString historyLine(const QString& colour, const QString& text)
{
    return colour + QLatin1Char('\t') + text;
}

inline QString historyLine(const char* colour, const QString& text)
{
    return historyLine(QLatin1String(colour), text);
}

// The line of a catalogue text, and what follows it after a blank when given.
inline QString historyKey(const char* colour, const char* key, const QString& after = {})
{
    return historyLine(colour, after.isEmpty() ? getText(key) : getText(key) + QLatin1Char(' ') + after);
}

// Catalogue texts joined by line breaks, as a message shows several: messageText({"A", "B"}).
inline QString messageText(std::initializer_list<const char*> keys)
{
    QStringList texts;
    for (const char* key : keys)
        texts.append(getText(key));
    return texts.join(QLatin1Char('\n'));
}

// Collects history lines into lines; recordHistory also the lines runner reports, for as long as
// context lives.
inline std::function<void(const QString&, HistoryColour)> recorderOf(QStringList& lines)
{
    return [&lines](const QString& text, HistoryColour colour) { lines.append(historyLine(colourName(colour), text)); };
}

inline void recordHistory(JobRunner& runner, QStringList& lines, QObject* context)
{
    QObject::connect(&runner, &JobRunner::historyLine, context, recorderOf(lines));
}

// Writes content to path, making the folders it needs.
inline bool writeFile(const QString& path, const QByteArray& content = {})
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline ConnectionSettings settingsOf(const FtpServerFixture& server, bool passive = true)
{
    return {.host = server.host(),
            .port = server.portText(),
            .user = FtpServerFixture::user(),
            .password = FtpServerFixture::password(),
            .ftp = {.passive = passive}};
}

// Waits until every job of runner has ended and its continuation has run.
inline bool waitIdle(JobRunner& runner)
{
    QSignalSpy idle(&runner, &JobRunner::idle);
    return !runner.isBusy() || idle.wait(jobTimeout);
}

// Runs job on runner and waits for its continuation.
inline bool runJob(JobRunner& runner, std::function<void(JobContext&)> job)
{
    bool done = false;
    runner.start(std::move(job), [&done] { done = true; });
    return QTest::qWaitFor([&done] { return done; }, jobTimeout);
}

// The folder the session stands in, as the server says.
inline QString serverFolder(JobRunner& runner)
{
    QString folder = QStringLiteral("(no answer)");
    runJob(runner, [&folder](JobContext& context) { folder = context.session().currentDir(); });
    return folder;
}
