#include "platform/system.h"

namespace tarvik {

System& DefaultSystem();  // system_host.cpp / system_win32.cpp

namespace {
System* g_system = nullptr;
}

System& Sys() { return g_system ? *g_system : DefaultSystem(); }

void SetSystem(System* system) { g_system = system; }

}  // namespace tarvik
