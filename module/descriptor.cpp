// The module's face to the host: the exported descriptor and the server table it points to.
#include <cstdint>

#include "common/identity.h"
#include "module/activation.h"
#include "sdk/lwserver.h"

namespace tarrow {
namespace {

// The host hands this value back to every activation and to shutdown; nothing is kept in it.
void* startModule() noexcept { return reinterpret_cast<void*>(std::uintptr_t{4}); }

void stopModule(void* /*serverData*/) noexcept {}

const ServerTagInfo kServerTags[2] = {{kServerName, SRVTAG_USERNAME | LANGID_USENGLISH}, {nullptr, 0}};

const ServerRecord kServerTable[3] = {{LWDISPLACEMENT_HCLASS, kServerName, activateHandler, kServerTags},
                                      {LWDISPLACEMENT_ICLASS, kServerName, activateInterface, kServerTags},
                                      {nullptr, nullptr, nullptr, nullptr}};

}  // namespace
}  // namespace tarrow

#ifdef _WIN32
#define TARROW_EXPORT
#else
#define TARROW_EXPORT __attribute__((visibility("default")))
#endif

// Constant data the host reads in place. Declared extern first: a namespace-scope const object
// would otherwise have internal linkage and never be exported.
extern "C" {
TARROW_EXPORT extern const ModuleDescriptor _mod_descrip;
}
const ModuleDescriptor _mod_descrip = {MOD_SYSSYNC,         MOD_SYSVER,         MOD_MACHINE,
                                       tarrow::startModule, tarrow::stopModule, tarrow::kServerTable};
