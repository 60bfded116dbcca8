// The Qt Quick Test runner of orvane.RobotCommunication: a QApplication, the static module plugins,
// the resource import path the default engine lacks, and a rosbridge server on loopback that the
// tests script and inspect through the context property "rosbridge".
#include "RosbridgeFake.h"

#include <QApplication>
#include <QJSValue>
#include <QJsonArray>
#include <QJsonDocument>
#include <QQmlContext>
#include <QQmlEngine>
#include <QVariantList>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(orvane_UtilPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ResourcesPlugin)
Q_IMPORT_QML_PLUGIN(orvane_SceneDescriptionPlugin)
Q_IMPORT_QML_PLUGIN(orvane_RobotCommunicationPlugin)

namespace {

QJsonValue toJson(const QJSValue &value)
{
    if (value.isUndefined())
        return QJsonValue(QJsonValue::Undefined);
    return QJsonValue::fromVariant(value.toVariant());
}

QVariantMap parsed(const QString &frame)
{
    return QJsonDocument::fromJson(frame.toUtf8()).object().toVariantMap();
}

} // namespace

// The loopback rosbridge server as the tests see it. Replies are scripted per service; a service
// without a script gets no reply. Frames come back verbatim, as the server received them, or
// parsed.
class RosbridgeControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString url READ url NOTIFY listeningChanged)
    Q_PROPERTY(int port READ port NOTIFY listeningChanged)
    Q_PROPERTY(bool listening READ listening NOTIFY listeningChanged)

public:
    RosbridgeControl() { m_fake.listen(); }

    QString url() const { return m_fake.url(); }
    int port() const { return m_fake.port(); }
    bool listening() const { return m_fake.isListening(); }

    // A "service_response" with the caller's id and service, "result" and, unless undefined,
    // "values", sent `delayMs` after the call arrives.
    Q_INVOKABLE void reply(const QString &service, bool result, const QJSValue &values,
                           int delayMs = 0)
    {
        m_fake.answer(service, result, toJson(values), delayMs);
    }
    Q_INVOKABLE void noReply(const QString &service)
    {
        m_fake.script(service, [](const QJsonObject &) { return RosbridgeFake::Reply{}; });
    }

    Q_INVOKABLE void publish(const QString &topic, const QJSValue &msg)
    {
        m_fake.publish(topic, toJson(msg).toObject());
    }

    // Every text frame received so far, verbatim.
    Q_INVOKABLE QStringList frames() const { return m_fake.frames(); }
    Q_INVOKABLE int frameCount() const { return int(m_fake.frames().size()); }
    // The frames of calls to one service, verbatim, oldest first.
    Q_INVOKABLE QStringList callTexts(const QString &service) const
    {
        QStringList texts;
        for (const QString &frame : m_fake.frames()) {
            const QVariantMap object = parsed(frame);
            if (object.value(QStringLiteral("op")) == QLatin1String("call_service")
                && object.value(QStringLiteral("service")) == service)
                texts.append(frame);
        }
        return texts;
    }
    // The frames of one operation ("subscribe", "call_service"...), parsed, oldest first.
    Q_INVOKABLE QVariantList requests(const QString &op) const
    {
        QVariantList list;
        for (const QJsonObject &object : m_fake.requests(op))
            list.append(object.toVariantMap());
        return list;
    }
    Q_INVOKABLE int subscribeCount(const QString &topic) const
    {
        return m_fake.subscribeCount(topic);
    }
    Q_INVOKABLE int unsubscribeCount(const QString &topic) const
    {
        return m_fake.unsubscribeCount(topic);
    }
    Q_INVOKABLE int clientCount() const { return m_fake.clientCount(); }

    Q_INVOKABLE void closeAll() { m_fake.closeAll(); }
    Q_INVOKABLE void abortAll() { m_fake.abortAll(); }
    // Stops listening; connected clients stay.
    Q_INVOKABLE void refuse()
    {
        m_fake.refuse();
        emit listeningChanged();
    }
    // Listens again on the port it had, so a robot comes back at the same address.
    Q_INVOKABLE bool listenAgain()
    {
        const bool ok = m_fake.isListening() || m_fake.listen(m_port);
        emit listeningChanged();
        return ok;
    }

    void remember() { m_port = m_fake.port(); }

signals:
    void listeningChanged();

private:
    RosbridgeFake m_fake;
    quint16 m_port = 0;
};

class Setup : public QObject
{
    Q_OBJECT

public:
    Setup() { m_rosbridge.remember(); }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine->rootContext()->setContextProperty(QStringLiteral("rosbridge"), &m_rosbridge);
    }

private:
    RosbridgeControl m_rosbridge;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "robotModule", nullptr, &setup);
}

#include "robotQmlTestMain.moc"
