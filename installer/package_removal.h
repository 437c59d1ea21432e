// The installer's second job: removing a published package from the driver store with its
// devices, for an engine that may not do the device side itself (a 32-bit process on 64-bit
// Windows).
#pragma once

// Removes `published` ("oem12.inf") as win/driver_removal.h does, its lines and a needed restart
// reported over the pipe. The status: 0, or a negative one.
int remove_package(const char* published);
