#include "ItemTexts.h"

#include "TextCatalogue.h"

namespace ItemTexts {

namespace {

bool fromMenu(const TransferItem& item)
{
    return item.texts == TransferTexts::UploadFromMenu;
}

} // namespace

QString announce(const TransferItem& item)
{
    if (item.isDownload()) {
        if (item.isFolder && item.refusal == TransferRefusal::None)
            return getText("MDOWN_FOLDNEW") + QLatin1Char(' ') + item.localPath + getText("MDOWN_AN");
        return getText("MDOWN_DOWNSTART") + QLatin1Char(' ') + item.shownName;
    }
    if (item.isFolder) {
        return fromMenu(item) ? getText("FRMPULOC_NEWDIR1") + QLatin1Char(' ') + item.shownName + getText("FRMPULOC_NEWDIR2")
                              : QStringLiteral("Aktion: Lege Verzeichnis ") + item.shownName + QStringLiteral(" an");
    }
    return fromMenu(item) ? getText("FRMPULOC_BEGUP") + QLatin1Char(' ') + item.shownName
                          : QStringLiteral("Aktion: Starte Upload von ") + item.shownName;
}

QString succeeded(const TransferItem& item)
{
    if (item.isDownload())
        return getText(item.isFolder ? "MDOWN_CREATEOK" : "MDOWN_DOWNOK");
    if (item.isFolder)
        return fromMenu(item) ? getText("FRMPULOC_GENOK") : QStringLiteral("Status: Anlegen erfolgreich");
    return getText("MPUB_UPOK");
}

QString failed(const TransferItem& item)
{
    if (item.isDownload())
        return getText(item.isFolder && item.refusal == TransferRefusal::None ? "FRMPULOC_GENFAIL" : "MDOWN_DOWNFAILED");
    return getText(item.isFolder ? "FRMPULOC_GENFAIL" : "MPUB_UPFAILED");
}

QList<Line> refused(const TransferItem& item)
{
    return {{announce(item), HistoryColour::Black}, {failed(item), HistoryColour::Red}};
}

QString refusalReason(TransferRefusal refusal)
{
    switch (refusal) {
    case TransferRefusal::UnusableName:
        return getText("QUEUE_REASON_NAME");
    case TransferRefusal::FolderLink:
        return getText("QUEUE_REASON_LINK");
    case TransferRefusal::TooDeep:
        return getText("QUEUE_REASON_DEEP");
    case TransferRefusal::UnencodableName:
        return getText("QUEUE_REASON_ENCODING");
    case TransferRefusal::Unlisted:
        return getText("QUEUE_REASON_UNLISTED");
    case TransferRefusal::None:
        break;
    }
    return {};
}

} // namespace ItemTexts
