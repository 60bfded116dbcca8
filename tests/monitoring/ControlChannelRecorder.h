#pragma once

#include "MonCtrlChannel.h"

#include <QByteArray>
#include <QStringList>
#include <QtEndian>

// Every reply signal of a control channel, written down as one short line each, in order.
struct ControlChannelRecorder
{
    QStringList events;
    std::vector<monitoring::protocol::signal_t> signalRecords;
    std::vector<monitoring::protocol::param_t> paramRecords;
    std::vector<monitoring::protocol::state_t> stateRecords;
    std::vector<monitoring::protocol::datatype_t> typeRecords;
    std::vector<monitoring::protocol::struct_element_t> elementRecords;
    std::vector<monitoring::protocol::fxp_info_t> fxpRecords;
    std::vector<monitoring::protocol::signal_set_t> activeRecords;
    QList<monitoring::protocol::reference_set_t> references;
    monitoring::protocol::monitor_info_t info{};

    explicit ControlChannelRecorder(monitoring::MonCtrlChannel *c)
    {
        using namespace monitoring;
        using C = MonCtrlChannel;
        QObject::connect(c, &C::communicationError,
                         [this](protocol::CommandType cmd, protocol::ErrorType err) {
                             events << QStringLiteral("error %1 %2").arg(int(cmd)).arg(int(err));
                         });
        QObject::connect(c, &C::infoReceived, [this](protocol::monitor_info_t i) {
            info = i;
            events << QStringLiteral("info %1").arg(i.version);
        });
        QObject::connect(
            c, &C::stringsReceived, [this](protocol::string_type_t t, std::vector<std::string> s) {
                QStringList parts;
                for (const auto &x : s)
                    parts << QString::fromStdString(x);
                events
                    << QStringLiteral("strings %1 [%2]").arg(t).arg(parts.join(QLatin1Char('|')));
            });
        auto signalList = [this](const char *name) {
            return [this, name](std::vector<protocol::signal_t> v) {
                signalRecords = v;
                events << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(v.size());
            };
        };
        QObject::connect(c, &C::signalsReceived, signalList("signals"));
        QObject::connect(c, &C::inputsReceived, signalList("inputs"));
        QObject::connect(c, &C::outputsReceived, signalList("outputs"));
        auto paramList = [this](const char *name) {
            return [this, name](std::vector<protocol::param_t> v) {
                paramRecords = v;
                events << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(v.size());
            };
        };
        QObject::connect(c, &C::blockParamsReceived, paramList("blockParams"));
        QObject::connect(c, &C::modelParamsReceived, paramList("modelParams"));
        QObject::connect(c, &C::blockStatesReceived, [this](std::vector<protocol::state_t> v) {
            stateRecords = v;
            events << QStringLiteral("states %1").arg(v.size());
        });
        QObject::connect(c, &C::rawDataReceived,
                         [this](protocol::rawdata_type_t t, std::vector<std::byte> d) {
                             events << QStringLiteral("raw %1 %2")
                                           .arg(t)
                                           .arg(QByteArray(reinterpret_cast<const char *>(d.data()),
                                                           qsizetype(d.size()))
                                                    .toHex());
                         });
        QObject::connect(c, &C::activeSignalsReceived,
                         [this](std::vector<protocol::signal_set_t> v) {
                             activeRecords = v;
                             events << QStringLiteral("active %1").arg(v.size());
                         });
        QObject::connect(c, &C::dataTypesReceived, [this](std::vector<protocol::datatype_t> v) {
            typeRecords = v;
            events << QStringLiteral("types %1").arg(v.size());
        });
        QObject::connect(c, &C::structElementsReceived,
                         [this](std::vector<protocol::struct_element_t> v) {
                             elementRecords = v;
                             events << QStringLiteral("elements %1").arg(v.size());
                         });
        QObject::connect(c, &C::fixedPointInfoReceived,
                         [this](std::vector<protocol::fxp_info_t> v) {
                             fxpRecords = v;
                             events << QStringLiteral("fxp %1").arg(v.size());
                         });
        QObject::connect(c, &C::updateParametersReceived,
                         [this](QList<protocol::reference_set_t> v) {
                             references = v;
                             events << QStringLiteral("update %1").arg(v.size());
                         });
        QObject::connect(
            c, &C::referencesHandled,
            [this](SimulinkDataTypes::VariableDataType kind, QList<protocol::reference_set_t> v) {
                references = v;
                events << QStringLiteral("handled %1 %2").arg(int(kind)).arg(v.size());
            });
    }
};

// A channel-2 frame written by hand: i16 command, u16 length (header included), i8 status.
inline QByteArray controlFrame(int command, int status, const QByteArray &payload,
                               int lengthOverride = -1)
{
    QByteArray f(5, '\0');
    qToLittleEndian<qint16>(qint16(command), f.data());
    qToLittleEndian<quint16>(quint16(lengthOverride >= 0 ? lengthOverride : payload.size() + 5),
                             f.data() + 2);
    f[4] = char(status);
    return f + payload;
}
