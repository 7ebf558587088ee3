#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// What the first digit of a reply code says (RFC 959, 4.2.1).
enum class ReplyClass {
    Preliminary,       // 1xx: started, another reply follows
    Completion,        // 2xx: done
    Intermediate,      // 3xx: send the next command of the sequence
    TransientFailure,  // 4xx: failed, may work later
    PermanentFailure,  // 5xx: failed
    Invalid,           // anything else
};

// One complete server reply, single- or multi-line. It keeps at most maxKeptCharacters of text in
// at most maxKeptLines lines, whatever the server sends: the lines beyond are only counted.
struct Reply {
    static constexpr qsizetype maxKeptCharacters = 8 * 1024; // a quoted path of PATH_MAX fits
    static constexpr qsizetype maxKeptLines = 200;

    int code = 0;
    // The lines kept, each with its "123-" / "123 " prefix removed, in order.
    QStringList lines;
    // Lines not kept (see above); the first line is cut short rather than dropped.
    qsizetype droppedLines = 0;
    bool isCut = false;

    // Adds a line (bytes as received) as long as the limits allow; once one is dropped, all later
    // ones are.
    void keepLine(QByteArrayView bytes);

    static ReplyClass classify(int code);
    ReplyClass replyClass() const { return classify(code); }
    bool isPreliminary() const { return replyClass() == ReplyClass::Preliminary; }
    bool isCompletion() const { return replyClass() == ReplyClass::Completion; }
    bool isIntermediate() const { return replyClass() == ReplyClass::Intermediate; }

    // All lines, joined by line feeds.
    QString text() const { return lines.join(QLatin1Char('\n')); }
    // The first line's text, where single-line answers (PWD, PASV, EPSV) carry their data.
    QString firstLine() const { return lines.isEmpty() ? QString() : lines.first(); }
    // The whole reply as one line, code first, for logs and error texts; made from the first
    // lines only, never longer than a few hundred characters.
    QString summary() const;
};
