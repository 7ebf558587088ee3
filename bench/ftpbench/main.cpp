#include "DownloadMain.h"
#include "FtpBench.h"
#include "RemoteDeleteMain.h"
#include "UploadMain.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    FtpBench bench(out, err);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("download"))
        return runDownload(arguments.mid(1));
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("rdelete"))
        return runRemoteDelete(arguments.mid(1));
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("upload"))
        return runUpload(arguments.mid(1));
    return bench.run(arguments);
}
