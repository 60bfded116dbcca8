#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The folders where the application keeps its files, optionally in a group of sub-folders.
class StandardPaths : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString group READ group WRITE setGroup NOTIFY groupChanged)

public:
    explicit StandardPaths(const QString &group = QString(), QObject *parent = nullptr);

    QString group() const { return m_group; }
    void setGroup(const QString &group);

    Q_INVOKABLE QString getHiddenUserDataPath(const QString &fileName = QString()) const;
    Q_INVOKABLE QString getUserDataPath(const QString &fileName = QString()) const;
    Q_INVOKABLE QString getConfigPath(const QString &fileName = QString()) const;
    Q_INVOKABLE QString getCachePath(const QString &fileName = QString()) const;
    Q_INVOKABLE QString getTempPath(const QString &fileName = QString()) const;
    Q_INVOKABLE QString getDownloadsPath(const QString &fileName = QString()) const;
    Q_INVOKABLE QString getResourcePath(const QString &fileName = QString()) const;
    Q_INVOKABLE QString getApplicationPath() const;
    Q_INVOKABLE StandardPaths *subGroup(const QString &subGroup, QObject *parent = nullptr) const;

signals:
    void groupChanged();

private:
    QString inGroup(QString base, const QString &fileName) const;

    QString m_group;
};
