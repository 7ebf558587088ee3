#pragma once

#include <QString>

// A server may echo the password back ("530 Login incorrect for 'secret'."); it goes no further.
// Only a word of its own is masked - after a blank, quote, bracket, "=" or ":", and before a
// blank, quote, bracket or a sentence's last punctuation - so the same letters inside other words
// ("e" in "Disconnected") stay as they are.
QString maskPassword(QString text, const QString& password);
