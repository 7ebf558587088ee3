#pragma once

#include <QString>

// The colour of one line of the transfer history.
enum class HistoryColour {
    Black, // announcements, welcome text, connection start
    Green, // success
    Red,   // failure or cancellation
    Blue,  // passive transfer switched on or off; a connection that stays unencrypted
};

// The colour's plain name (black, green, red, blue), for printing history lines as text.
inline QString colourName(HistoryColour colour)
{
    switch (colour) {
    case HistoryColour::Green:
        return QStringLiteral("green");
    case HistoryColour::Red:
        return QStringLiteral("red");
    case HistoryColour::Blue:
        return QStringLiteral("blue");
    case HistoryColour::Black:
        break;
    }
    return QStringLiteral("black");
}
