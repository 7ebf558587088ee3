#include "ResumeRule.h"

namespace ResumeRule {

Decision forDownload(qint64 partial, const std::optional<RemoteFileFacts>& recorded, const RemoteFileFacts& now)
{
    if (partial <= 0)
        return {};
    if (!recorded || !recorded->isKnown() || !now.isKnown())
        return {0, StartOver::Unknown};
    // More bytes than the file has cannot be a part of it.
    if (!(*recorded == now) || partial > *now.size)
        return {0, StartOver::Changed};
    return {partial, StartOver::No};
}

Decision forUpload(bool text, const RemoteFileFacts& localAtStart, const RemoteFileFacts& localNow,
                   std::optional<qint64> temporarySize)
{
    if (text)
        return {0, StartOver::Text};
    if (!(localAtStart == localNow) || !localNow.size)
        return {0, StartOver::Changed};
    if (!temporarySize)
        return {0, StartOver::Unknown};
    if (*temporarySize > *localNow.size)
        return {0, StartOver::Changed};
    return {*temporarySize, StartOver::No};
}

} // namespace ResumeRule
