#include "MainWindow.h"
#include "ShellServices.h"
#include "SiteCommands.h"
#include "StartDialog.h"
#include "TextCatalogue.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ftpclient"));
    QApplication::setApplicationDisplayName(QStringLiteral("FTP Client 1"));
    QApplication::setDesktopFileName(QStringLiteral("ftpclient"));

    // Outside a desktop session Qt knows only the bare "hicolor" theme, which has no pictures for
    // file types; borrow an installed full theme for whatever the current one lacks.
    for (const char* theme : {"Adwaita", "breeze", "gnome", "oxygen", "Tango"}) {
        if (QDir(QStringLiteral("/usr/share/icons/") + QLatin1String(theme)).exists()) {
            QIcon::setFallbackThemeName(QLatin1String(theme));
            break;
        }
    }

    TextCatalogue::instance().openCatalogue(ShellServices::dataFolder() + QStringLiteral("/lang.db"));
    StartDialog start;
    if (start.exec() != QDialog::Accepted)
        return 0;

    // Qt's own buttons (Yes, No, Cancel in message and input boxes) speak the chosen language too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(getText("QT_LANGUAGE")), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    auto* window = new MainWindow;
    window->show();
    // ftpclient ftp://user@host/folder/: connect once the window shows.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        QTimer::singleShot(0, window, [window, link = arguments.at(1)] { window->sites()->openLink(link); });
    return QApplication::exec();
}
