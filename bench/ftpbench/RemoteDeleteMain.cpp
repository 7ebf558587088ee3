#include "RemoteDeleteMain.h"

#include "JobCommand.h"
#include "RemoteDeleteJob.h"

int runRemoteDelete(const QStringList& arguments)
{
    JobCommand command("rdelete", QStringLiteral("REMOTEFOLDER NAME..."));
    if (!command.parse(arguments, 2))
        return 2;
    QStringList& rest = command.operands();
    const QString remoteFolder = rest.takeFirst();
    RemoteDeleteRequest request;
    request.settings = command.settings();
    for (const SelectedRow& row : JobCommand::rowsOf(rest))
        request.rows.append({row.name, row.isFolder, false});
    // The very job the program runs, without the question the program asks first.
    return command.run<RemoteDeleteResult>(
        remoteFolder,
        [request](JobContext& context, const QString& folder) {
            RemoteDeleteRequest withStart = request;
            withStart.startFolder = folder;
            return RemoteDeleteJob(context, withStart).deleteSelection();
        },
        [&command](const RemoteDeleteResult& result) {
            command.err() << "deleted " << result.deleted << " entries, " << result.failed << " failed\n";
            return result.failed == 0;
        });
}
