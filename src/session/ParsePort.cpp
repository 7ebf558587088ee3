#include "ConnectionSettings.h"

// The rounding follows the text, not a binary fraction: "21.5" is exactly a half and goes to 22,
// "22.5" to 22, "22.50001" to 23.
std::optional<quint16> parsePort(const QString& text)
{
    const QString trimmed = text.trimmed();
    qsizetype at = 0;
    if (at < trimmed.size() && trimmed[at] == QLatin1Char('+'))
        ++at;
    const qsizetype integerStart = at;
    quint64 whole = 0;
    while (at < trimmed.size() && trimmed[at].isDigit() && trimmed[at].unicode() < 128) {
        whole = whole * 10 + static_cast<quint64>(trimmed[at].unicode() - u'0');
        if (whole > 1'000'000)
            return std::nullopt; // far out of range; stop before it could overflow
        ++at;
    }
    const bool hasInteger = at > integerStart;
    bool hasFraction = false;
    int firstFractionDigit = 0;
    bool restNonZero = false;
    if (at < trimmed.size() && trimmed[at] == QLatin1Char('.')) {
        ++at;
        const qsizetype fractionStart = at;
        while (at < trimmed.size() && trimmed[at].isDigit() && trimmed[at].unicode() < 128) {
            const int digit = trimmed[at].unicode() - u'0';
            if (at == fractionStart)
                firstFractionDigit = digit;
            else if (digit != 0)
                restNonZero = true;
            ++at;
        }
        hasFraction = at > fractionStart;
    }
    if (at != trimmed.size() || (!hasInteger && !hasFraction))
        return std::nullopt;
    if (firstFractionDigit > 5 || (firstFractionDigit == 5 && (restNonZero || whole % 2 == 1)))
        ++whole;
    if (whole < 1 || whole > 65535)
        return std::nullopt;
    return static_cast<quint16>(whole);
}
