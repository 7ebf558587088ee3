#pragma once

#include <QDialog>
#include <QHash>
#include <QString>

#include <atomic>

class QFormLayout;
class QLabel;
class QThread;
struct TreeCount;

// Our properties view of a local file, folder or link, for sessions whose file manager offers
// none: name, type, location, size, modified and accessed times, permissions as text and octal,
// owner and group, and the target of a link. A folder's total size and the number of files and
// folders in it are counted on a thread of their own, so that the window stays usable meanwhile.
// Everything is about the entry itself: a link is never followed.
class PropertiesDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Field { Name, Type, Location, Size, Contents, Modified, Accessed, Permissions, Owner, Group, Target };

    explicit PropertiesDialog(const QString& path, QWidget* parent = nullptr);
    // Stops the counting and waits for it; it looks at its stop flag after every entry.
    ~PropertiesDialog() override;

    // The value a field shows; empty for a field the entry does not have.
    QString value(Field field) const;

    // The permission bits as "ls -l" writes them (drwxr-x---) and as an octal number (0750).
    static QString permissionText(unsigned mode);
    static QString octalText(unsigned mode);

Q_SIGNALS:
    // The folder's size and contents are shown.
    void countingFinished();

private:
    void addField(Field field, const char* labelKey, const QString& value);
    void showCount(const TreeCount& count);
    void startCounting(const QString& path);

    QFormLayout* m_form = nullptr;
    QHash<Field, QLabel*> m_values;
    QThread* m_counter = nullptr;
    std::atomic<bool> m_stop{false};
};
