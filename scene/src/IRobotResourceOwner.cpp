#include "IRobotResourceOwner.h"

void IRobotResourceOwner::replaceResourceId(const RobotResourceId &, const RobotResourceId &) { }

void IRobotResourceOwner::resolveResource(RobotResourceId, orvane::shared_qptr<QObject>) { }
