#include "system/launcher.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#undef signals // glib uses the name
#include <gio/gio.h>

namespace lumenta {

bool startProgram(const QString& program, const QStringList& args,
                  const QString& workingDirectory) {
    const QFileInfo fi(program);
    if (program.contains(QLatin1Char('/')) && (!fi.isFile() || !fi.isExecutable()))
        return false;
    return QProcess::startDetached(program, args, workingDirectory);
}

namespace {

// Launches the default application for contentType on file.
OpenResult launchDefaultFor(GFile* file, const gchar* contentType) {
    GAppInfo* app = contentType ? g_app_info_get_default_for_type(contentType, FALSE) : nullptr;
    if (!app)
        return OpenResult::NoAssociation;
    OpenResult result = OpenResult::Failed;
    GList* files = g_list_append(nullptr, file);
    GError* error = nullptr;
    if (g_app_info_launch(app, files, nullptr, &error))
        result = OpenResult::Opened;
    if (error)
        g_error_free(error);
    g_list_free(files);
    g_object_unref(app);
    return result;
}

} // namespace

OpenResult openWithAssociation(const QString& path) {
    const QByteArray local = QFile::encodeName(path);
    GFile* file = g_file_new_for_path(local.constData());

    // Content type from the file itself (and its name); a file that cannot
    // be inspected is guessed from its name alone.
    gchar* contentType = nullptr;
    if (GFileInfo* info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                            G_FILE_QUERY_INFO_NONE, nullptr, nullptr)) {
        const char* ct = g_file_info_get_content_type(info);
        if (ct)
            contentType = g_strdup(ct);
        g_object_unref(info);
    }
    if (!contentType)
        contentType = g_content_type_guess(local.constData(), nullptr, 0, nullptr);

    const OpenResult result = launchDefaultFor(file, contentType);
    g_free(contentType);
    g_object_unref(file);
    return result;
}

OpenResult openWithDefaultFor(const QString& path, const QString& mimeType) {
    GFile* file = g_file_new_for_path(QFile::encodeName(path).constData());
    gchar* contentType = g_content_type_from_mime_type(mimeType.toUtf8().constData());
    const OpenResult result = launchDefaultFor(file, contentType);
    g_free(contentType);
    g_object_unref(file);
    return result;
}

QString findFirstProgram(const QStringList& names) {
    for (const QString& n : names) {
        const QString p = QStandardPaths::findExecutable(n);
        if (!p.isEmpty())
            return p;
    }
    return QString();
}

} // namespace lumenta
