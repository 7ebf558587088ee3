#include "ResumeTexts.h"

#include "TextCatalogue.h"

namespace ResumeTexts {

QString startOver(ResumeRule::StartOver why, const QString& name)
{
    const char* key = nullptr;
    switch (why) {
    case ResumeRule::StartOver::No:
        return {};
    case ResumeRule::StartOver::Changed:
        key = "RESUME_CHANGED";
        break;
    case ResumeRule::StartOver::Unknown:
        key = "RESUME_UNKNOWN";
        break;
    case ResumeRule::StartOver::Text:
        key = "RESUME_TEXT";
        break;
    }
    return getText(key) + QLatin1Char(' ') + name;
}

QString refused(const QString& name)
{
    return getText("RESUME_REFUSED") + QLatin1Char(' ') + name;
}

QString resumed(qint64 offset, const QString& name)
{
    return getText("RESUME_FROM").arg(offset).arg(name);
}

} // namespace ResumeTexts
