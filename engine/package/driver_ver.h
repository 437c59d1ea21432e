// The driver version a package's INF template declares ("DriverVer = date, version"), packed as
// the enumeration packs a device's "DriverVersion": four 16-bit parts, the first highest. No
// Windows calls: host tests use it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The version of the template's DriverVer line in [Version]. A template that leaves the version
// to its token (#DRIVER_VERSION#) gets `token_version`, the version the preparation fills in.
// 0 when the template has no such line or its version cannot be read.
uint64_t template_driver_version(const char* text, size_t size, uint64_t token_version);

#ifdef __cplusplus
}
#endif
