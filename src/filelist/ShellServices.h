#pragma once

#include <QString>
#include <QStringList>

// What the program asks of the desktop: the program registered for a document and starting programs.
namespace ShellServices {

// The full path of the program registered for opening document, or an empty text when there is
// none, when the document does not exist, or when the document is itself a program.
QString findAssociatedProgram(const QString& document);

// Starts the program registered for document through its desktop entry (so that the entry's own
// arguments and wrappers work), handing it uri; false when there is none or it cannot start.
bool launchAssociatedProgram(const QString& document, const QString& uri);

// Starts program with one argument (spaces and all), without waiting; false when it cannot start.
bool startProgram(const QString& program, const QString& argument);
bool startProgram(const QString& program, const QStringList& arguments = {});

// The folder that holds the program's data files: beside the executable when lang.db is there
// (a build tree), else the installed share folder.
QString dataFolder();

} // namespace ShellServices
