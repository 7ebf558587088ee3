#include "ShellServices.h"

#include "ApplicationChooser.h"
#include "DesktopBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPointer>
#include <QStandardPaths>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>

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

// The content type GIO gives document; empty when the document cannot be read.
QByteArray contentTypeOf(const QString& document)
{
    GFile* file = g_file_new_for_path(QFile::encodeName(document).constData());
    GFileInfo* fileInfo = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                                            nullptr, nullptr);
    QByteArray contentType;
    if (fileInfo) {
        if (const char* type = g_file_info_get_content_type(fileInfo))
            contentType = type;
        g_object_unref(fileInfo);
    }
    g_object_unref(file);
    return contentType;
}

// The application registered for document's type; nullptr when there is none, when the document
// does not exist or is itself a program. The caller unrefs it.
GAppInfo* defaultApplication(const QString& document)
{
    const QFileInfo info(document);
    if (!info.exists())
        return nullptr;
    const QByteArray contentType = contentTypeOf(document);
    if (contentType.isEmpty() || isProgram(info, contentType.constData()))
        return nullptr;
    return g_app_info_get_default_for_type(contentType.constData(), FALSE);
}

// Starts app with document's path as one argument (or its URI, for a program that takes URIs).
bool launch(GAppInfo* app, const QString& document)
{
    GFile* file = g_file_new_for_path(QFile::encodeName(document).constData());
    GList* files = g_list_append(nullptr, file);
    const gboolean launched = g_app_info_launch(app, files, nullptr, nullptr);
    g_list_free(files);
    g_object_unref(file);
    return launched;
}

// The picture of an application: a theme icon by name, or a picture file.
QIcon iconOf(GAppInfo* app)
{
    GIcon* icon = g_app_info_get_icon(app);
    if (!icon)
        return {};
    gchar* serialised = g_icon_to_string(icon);
    if (!serialised)
        return {};
    const QString text = QString::fromUtf8(serialised);
    g_free(serialised);
    if (text.startsWith(QLatin1Char('/')))
        return QIcon(text);
    // A theme icon with several names is written ". GThemedIcon name1 name2 ...".
    QStringList names = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (names.size() > 2 && names.first() == QStringLiteral("."))
        names = names.mid(2);
    for (const QString& name : names) {
        QIcon themed = QIcon::fromTheme(name);
        if (!themed.isNull())
            return themed;
    }
    return {};
}

Application toApplication(GAppInfo* app)
{
    const char* id = g_app_info_get_id(app);
    return {id ? QString::fromUtf8(id) : QString(), QString::fromUtf8(g_app_info_get_display_name(app)), iconOf(app)};
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

OpenResult openWithDefault(const QString& document)
{
    GAppInfo* app = defaultApplication(document);
    if (!app)
        return OpenResult::NoProgram;
    const bool launched = launch(app, document);
    g_object_unref(app);
    return launched ? OpenResult::Opened : OpenResult::NotStarted;
}

void chooseAndOpen(const QString& document, QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    QObject* context = parent ? static_cast<QObject*>(parent) : QCoreApplication::instance();
    DesktopBus::chooseProgram(document, context, [owner, document] {
        ApplicationChooser chooser(document, owner);
        if (chooser.exec() == QDialog::Accepted)
            chooser.launchChoice();
    });
}

QList<Application> applicationsFor(const QString& document)
{
    const QByteArray contentType = contentTypeOf(document);
    if (contentType.isEmpty())
        return {};
    QList<Application> applications;
    if (GAppInfo* app = g_app_info_get_default_for_type(contentType.constData(), FALSE)) {
        applications.append(toApplication(app));
        g_object_unref(app);
    }
    GList* all = g_app_info_get_all_for_type(contentType.constData());
    for (GList* item = all; item; item = item->next) {
        auto* app = static_cast<GAppInfo*>(item->data);
        const Application application = toApplication(app);
        const bool listed = std::any_of(applications.cbegin(), applications.cend(),
                                        [&application](const Application& other) { return other.id == application.id; });
        if (!listed && g_app_info_should_show(app))
            applications.append(application);
    }
    g_list_free_full(all, g_object_unref);
    return applications;
}

QList<Application> allApplications()
{
    QList<Application> applications;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item; item = item->next) {
        auto* app = static_cast<GAppInfo*>(item->data);
        if (g_app_info_should_show(app))
            applications.append(toApplication(app));
    }
    g_list_free_full(all, g_object_unref);
    std::sort(applications.begin(), applications.end(), [](const Application& left, const Application& right) {
        return QString::localeAwareCompare(left.name, right.name) < 0;
    });
    return applications;
}

bool launchApplication(const QString& id, const QString& document)
{
    GDesktopAppInfo* app = g_desktop_app_info_new(id.toUtf8().constData());
    if (!app)
        return false;
    const bool launched = launch(reinterpret_cast<GAppInfo*>(app), document);
    g_object_unref(app);
    return launched;
}

bool launchCommandLine(const QString& commandLine, const QString& document)
{
    GAppInfo* app = g_app_info_create_from_commandline(commandLine.toUtf8().constData(), nullptr,
                                                       G_APP_INFO_CREATE_NONE, nullptr);
    if (!app)
        return false;
    const bool launched = launch(app, document);
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
