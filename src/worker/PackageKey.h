// The publisher's key built into the program (the CMake cache variable KLU_PACKAGE_KEY).
#pragma once

// The PEM text of the key, or null in a build without one.
const char* BuiltInPackageKeyPem();
