#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// What the program asks of the desktop: the program registered for a document, starting
// programs, and letting the user choose a program for a document.
namespace ShellServices {

// The full path of the program registered for opening document, or an empty text when there is
// none, when the document does not exist, or when the document is itself a program.
QString findAssociatedProgram(const QString& document);

// Starts the program registered for document through its desktop entry (so that the entry's own
// arguments and wrappers work), handing it uri; false when there is none or it cannot start.
bool launchAssociatedProgram(const QString& document, const QString& uri);

// How opening a document with its registered program went.
enum class OpenResult {
    Opened,
    NoProgram,  // none registered, or the document is itself a program; nothing was started
    NotStarted, // the program could not be started (it needs a terminal there is none of, ...)
};

// Opens the local file document with the program registered for its type, through the program's
// desktop entry, with the document's path as one argument.
OpenResult openWithDefault(const QString& document);

// Lets the user choose a program for the local file document and opens it with that program,
// the path as one argument: the desktop's own chooser where the session has one, else our
// ApplicationChooser. Returns at once or after our dialog; Cancel does nothing.
void chooseAndOpen(const QString& document, QWidget* parent);

// A program the user can choose.
struct Application {
    QString id;   // its desktop entry's id
    QString name;
    QIcon icon;
};

// The programs registered for document's type, the default one first.
QList<Application> applicationsFor(const QString& document);
// Every program the desktop shows to the user, by name.
QList<Application> allApplications();
// Starts the program of the desktop entry id with document's path; false when it cannot start.
bool launchApplication(const QString& id, const QString& document);
// Starts commandLine with document's path appended as one argument (or put where the command
// line says, %f); false when it cannot be parsed or started.
bool launchCommandLine(const QString& commandLine, const QString& document);

// Starts program with one argument (spaces and all), without waiting; false when it cannot start.
bool startProgram(const QString& program, const QString& argument);
bool startProgram(const QString& program, const QStringList& arguments = {});

// The folder that holds the program's data files: beside the executable when lang.db is there
// (a build tree), else the installed share folder.
QString dataFolder();

} // namespace ShellServices
