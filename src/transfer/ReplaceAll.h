#pragma once

#include <QString>

// Replaces every occurrence of find in text by replacement, finding case-insensitively, and returns
// the result; text itself changes too. Made for one-character path separators ("\" and "/").
// Unlike the helper it replaces, it leaves the blanks before a separator alone: a server folder
// whose name ends in blanks keeps them in every path built from it.
QString replaceAll(QString& text, const QString& find, const QString& replacement);
