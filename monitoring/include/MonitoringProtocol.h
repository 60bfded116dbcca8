#pragma once

#include "MonitoringRecords.h"

#include <QList>
#include <QMetaType>

#include <cstddef>
#include <string>
#include <vector>

// The records travel as signal arguments between the channels and the model.
Q_DECLARE_METATYPE(monitoring::protocol::CommandType)
Q_DECLARE_METATYPE(monitoring::protocol::ErrorType)
Q_DECLARE_METATYPE(monitoring::protocol::monitor_info_t)
Q_DECLARE_METATYPE(monitoring::protocol::reference_set_t)
Q_DECLARE_METATYPE(monitoring::protocol::signal_set_t)
Q_DECLARE_METATYPE(monitoring::protocol::param_set_t)
Q_DECLARE_METATYPE(std::vector<monitoring::protocol::signal_t>)
Q_DECLARE_METATYPE(std::vector<monitoring::protocol::param_t>)
Q_DECLARE_METATYPE(std::vector<monitoring::protocol::state_t>)
Q_DECLARE_METATYPE(std::vector<monitoring::protocol::datatype_t>)
Q_DECLARE_METATYPE(std::vector<monitoring::protocol::struct_element_t>)
Q_DECLARE_METATYPE(std::vector<monitoring::protocol::fxp_info_t>)
Q_DECLARE_METATYPE(std::vector<monitoring::protocol::signal_set_t>)
Q_DECLARE_METATYPE(QList<monitoring::protocol::reference_set_t>)
Q_DECLARE_METATYPE(QList<monitoring::protocol::signal_set_t>)
Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(std::vector<std::byte>)
