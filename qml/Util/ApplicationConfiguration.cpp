#include "ApplicationConfiguration.h"

#include "StandardPaths.h"

#include <QFile>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QQmlEngine>

Q_LOGGING_CATEGORY(lcApplicationConfiguration, "ApplicationConfiguration")

ApplicationConfiguration::ApplicationConfiguration(QObject *parent)
    : QObject(parent)
{ }

ApplicationConfiguration *ApplicationConfiguration::create(QQmlEngine *engine, QJSEngine *)
{
    QString path = StandardPaths().getConfigPath(QStringLiteral("appconfig.json"));
    if (!QFile::exists(path))
        path = QStringLiteral(":appconfig.json");
    auto *configuration = new ApplicationConfiguration(engine);
    configuration->load(path);
    return configuration;
}

void ApplicationConfiguration::load(const QString &path)
{
    m_configuration = QJsonObject();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcApplicationConfiguration) << "Could not open config file";
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (document.isNull() || !document.isObject()) {
        qCWarning(lcApplicationConfiguration) << "Configuration file is not correctly formatted.";
        return;
    }
    m_configuration = document.object();
}

QVariant ApplicationConfiguration::getConfiguration(const QString &key) const
{
    const auto member = m_configuration.constFind(key);
    if (member == m_configuration.constEnd())
        return QVariant();
    return member->toVariant();
}
