// Provisional environment queries: enough for CurrentUser; replaced by the full queries unit.
#include "framework/kv_reg.h"
#include "platform/environment.h"

QString LogonUserName() { return platform::EnvironmentValue("USERNAME"); }
QString MachineName() { return {}; }
QString NetworkDomain() { return {}; }
QString MachineAddress() { return {}; }
