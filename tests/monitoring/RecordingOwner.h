#pragma once

#include "NodeOwner.h"
#include "SampleStream.h"

#include <QByteArray>
#include <QList>
#include <QPair>

// Stands in for the monitoring interface below model nodes: records what they send and keeps
// the streaming-activation table and the sample stream's subscriptions.
struct RecordingOwner : monitoring::NodeOwner
{
    QList<monitoring::protocol::param_set_t> parameters;
    QList<int> rawRequests;
    QList<monitoring::protocol::signal_set_t> signalSets;
    QList<QPair<int, int>> activations; // (node index, data offset)
    monitoring::SampleStream stream;

    void sendParameter(const monitoring::protocol::param_set_t &p) override { parameters << p; }
    void requestRawData(monitoring::protocol::rawdata_type_t kind) override { rawRequests << kind; }
    void sendSignalSet(const monitoring::protocol::signal_set_t &s) override { signalSets << s; }
    void addStreamingActivation(uint16_t nodeIndex, uint16_t offset,
                                monitoring::StreamableNode *) override
    {
        activations << qMakePair(int(nodeIndex), int(offset));
    }
    void eraseStreamingActivation(uint16_t nodeIndex, uint16_t offset) override
    {
        activations.removeOne(qMakePair(int(nodeIndex), int(offset)));
    }
    monitoring::SampleStream *sampleStream() override { return &stream; }

    // "rate@offset" of each signal set sent, in order.
    QStringList requests() const
    {
        QStringList out;
        for (const auto &s : signalSets)
            out << QStringLiteral("%1@%2").arg(s.odr).arg(s.dataOffset);
        return out;
    }
};
