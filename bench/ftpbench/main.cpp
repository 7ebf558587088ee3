#include "FtpBench.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    FtpBench bench(out, err);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    return bench.run(arguments);
}
