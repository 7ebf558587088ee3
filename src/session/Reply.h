#pragma once

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

// One complete server reply, single- or multi-line.
struct Reply {
    int code = 0;
    // Every line with its "123-" / "123 " prefix removed, in order.
    QStringList lines;

    static ReplyClass classify(int code);
    ReplyClass replyClass() const { return classify(code); }
    bool isPreliminary() const { return replyClass() == ReplyClass::Preliminary; }
    bool isCompletion() const { return replyClass() == ReplyClass::Completion; }
    bool isIntermediate() const { return replyClass() == ReplyClass::Intermediate; }

    // All lines, joined by line feeds.
    QString text() const { return lines.join(QLatin1Char('\n')); }
    // The first line's text, where single-line answers (PWD, PASV, EPSV) carry their data.
    QString firstLine() const { return lines.isEmpty() ? QString() : lines.first(); }
    // The whole reply as one line, code first, for logs and error texts.
    QString summary() const;
};
