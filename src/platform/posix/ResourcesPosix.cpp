#include "platform/Platform.h"

#include "platform/posix/EmbeddedResources.h"
#include "uStrParam.h"

namespace platform {

bool LoadProgramResource(const std::string& name, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < embedded::ResourceCount; ++i) {
        const embedded::Resource& r = embedded::Resources[i];
        if (!SameTextNoCase(name, r.name)) continue;
        bytes.assign(reinterpret_cast<const char*>(r.data), r.size);
        return true;
    }
    return false;
}

}  // namespace platform
