#include "StartupTexts.h"

#include "Prompter.h"
#include "ShellServices.h"
#include "TextCatalogue.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace {

const QString homepageAddress = QStringLiteral("https://corvanthe-laboratories.example/ftpclient/");

// The locale's time with seconds, without a time-zone name.
QString timeWithSeconds(const QTime& time)
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return QLocale::system().toString(time, format.trimmed());
}

} // namespace

QString welcomeText()
{
    return getText("WELCOME1") + QLatin1Char('\n') + getText("WELCOME2") + QLatin1Char(' ')
         + QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) + QLatin1Char(' ')
         + getText("WELCOME3") + QLatin1Char(' ') + timeWithSeconds(QTime::currentTime()) + QLatin1Char(' ')
         + getText("WELCOME4");
}

void openHomepage(QWidget* parent)
{
    const QString page = ShellServices::dataFolder() + QStringLiteral("/index.html");
    if (ShellServices::findAssociatedProgram(page).trimmed().isEmpty()) {
        showMessage(parent, QStringLiteral("Could not find any web browser!"), PromptIcon::Information,
                    PromptButtons::Ok, QStringLiteral("Information"));
        return;
    }
    // Through the browser's own desktop entry, so that its arguments and wrappers work.
    ShellServices::launchAssociatedProgram(page, homepageAddress);
}
