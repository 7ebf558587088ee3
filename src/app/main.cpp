#include "MainWindow.h"
#include "ShellServices.h"
#include "StartDialog.h"
#include "TextCatalogue.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ftpclient"));
    QApplication::setApplicationDisplayName(QStringLiteral("FTP Client 1"));
    QApplication::setDesktopFileName(QStringLiteral("ftpclient"));

    TextCatalogue::instance().openCatalogue(ShellServices::dataFolder() + QStringLiteral("/lang.db"));
    StartDialog start;
    if (start.exec() != QDialog::Accepted)
        return 0;

    auto* window = new MainWindow;
    window->show();
    return QApplication::exec();
}
