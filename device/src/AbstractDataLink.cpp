#include "AbstractDataLink.h"

#include <QMetaType>

AbstractDataLink::AbstractDataLink(LinkType type, QObject *parent)
    : QObject(parent)
    , m_linkType(type)
{
    // Queued connections whose signatures spell the enumerations unqualified still find them.
    qRegisterMetaType<AbstractDataLink::LinkType>("LinkType");
    qRegisterMetaType<AbstractDataLink::DatalinkState>("DatalinkState");
    qRegisterMetaType<AbstractDataLink::LinkType>();
    qRegisterMetaType<AbstractDataLink::DatalinkState>();
}

AbstractDataLink::~AbstractDataLink() = default;

void AbstractDataLink::changeState(DatalinkState state)
{
    m_state.store(state);
    emit datalinkStateSignal(m_linkType, state);
}
