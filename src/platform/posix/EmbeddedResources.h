// The program's resources in the native build: the resource files, turned into byte arrays when
// the program is built (the generated source defines both symbols).
#pragma once

#include <cstddef>

namespace platform {
namespace embedded {

struct Resource {
    const char* name;           // as declared for Win32 (QVI_XMLFILE...)
    const unsigned char* data;
    std::size_t size;
};

extern const Resource Resources[];
extern const std::size_t ResourceCount;

}  // namespace embedded
}  // namespace platform
