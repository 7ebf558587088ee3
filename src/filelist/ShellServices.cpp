#include "ShellServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gio/gio.h>

namespace {

// An executable file or one of the executable content types has no program of its own.
bool isProgram(const QFileInfo& info, const char* contentType)
{
    if (info.isFile() && info.isExecutable())
        return true;
    return contentType && g_content_type_can_be_executable(contentType)
           && !g_content_type_is_a(contentType, "text/plain");
}

} // namespace

namespace ShellServices {

namespace {

// The application registered for document's type; nullptr when there is none, when the document
// does not exist or is itself a program. The caller unrefs it.
GAppInfo* defaultApplication(const QString& document)
{
    const QFileInfo info(document);
    if (!info.exists())
        return nullptr;
    GFile* file = g_file_new_for_path(QFile::encodeName(document).constData());
    GFileInfo* fileInfo = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                                            nullptr, nullptr);
    GAppInfo* app = nullptr;
    if (fileInfo) {
        const char* contentType = g_file_info_get_content_type(fileInfo);
        if (contentType && !isProgram(info, contentType))
            app = g_app_info_get_default_for_type(contentType, FALSE);
        g_object_unref(fileInfo);
    }
    g_object_unref(file);
    return app;
}

} // namespace

QString findAssociatedProgram(const QString& document)
{
    GAppInfo* app = defaultApplication(document);
    if (!app)
        return {};
    QString program;
    if (const char* executable = g_app_info_get_executable(app)) {
        if (gchar* path = g_find_program_in_path(executable)) {
            program = QString::fromLocal8Bit(path);
            g_free(path);
        }
    }
    g_object_unref(app);
    return program;
}

bool launchAssociatedProgram(const QString& document, const QString& uri)
{
    GAppInfo* app = defaultApplication(document);
    if (!app)
        return false;
    const QByteArray uriBytes = uri.toUtf8();
    GList* uris = g_list_append(nullptr, const_cast<char*>(uriBytes.constData()));
    const gboolean launched = g_app_info_launch_uris(app, uris, nullptr, nullptr);
    g_list_free(uris);
    g_object_unref(app);
    return launched;
}

bool startProgram(const QString& program, const QString& argument)
{
    return startProgram(program, QStringList{argument});
}

bool startProgram(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

QString dataFolder()
{
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo::exists(beside + QStringLiteral("/lang.db")))
        return beside;
    const QString installed = QDir(beside).absoluteFilePath(QStringLiteral("../share/ftpclient"));
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    return beside;
}

} // namespace ShellServices
