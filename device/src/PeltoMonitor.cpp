#include "PeltoMonitor.h"

PeltoMonitor::~PeltoMonitor() = default;
