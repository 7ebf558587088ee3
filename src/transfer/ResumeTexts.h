#pragma once

#include "ResumeRule.h"

#include <QString>

// The history lines of resumes and retries.
namespace ResumeTexts {

// Why a transfer starts over from byte 0, naming the file; empty for StartOver::No.
QString startOver(ResumeRule::StartOver why, const QString& name);
// The server would not go on from where the last try ended (FTP: REST refused).
QString refused(const QString& name);
// A transfer that goes on from byte offset of what an earlier run left.
QString resumed(qint64 offset, const QString& name);

} // namespace ResumeTexts
