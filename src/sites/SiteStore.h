#pragma once

#include "Site.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// The sites file: JSON a person can read, in the user's config folder, written to a temporary
// file and renamed into place, readable by the user alone. It never holds a password.
class SiteStore
{
public:
    enum class Status {
        Read,    // the file was read
        Missing, // there is no file yet
        Damaged, // the file could not be read; it was kept aside under keptAs
    };

    struct Loaded {
        SiteData data;
        Status status = Status::Missing;
        QString keptAs;
    };

    SiteStore(); // the file in the user's config folder
    explicit SiteStore(QString path);

    QString path() const { return m_path; }

    // Reads the file. A damaged file is renamed aside, so that saving cannot overwrite what the
    // user might still rescue, and the data start empty.
    Loaded load() const;
    // Replaces the file; false with a reason in error when it could not.
    bool save(const SiteData& data, QString& error) const;
    // Reads the file under a lock, lets change alter what it holds and writes that, so that two
    // instances of the program saving keep each other's changes. data (what the caller holds, used
    // when the file cannot be read) gets what was written.
    bool update(const std::function<void(SiteData&)>& change, SiteData& data, QString& error) const;

    static QByteArray toJson(const SiteData& data);
    static std::optional<SiteData> fromJson(const QByteArray& json);

private:
    QString m_path;
};
