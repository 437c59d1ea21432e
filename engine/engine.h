// The engine as the application sees it: one include for its public operations and records.
//   status codes and texts, log           engine/common/status.h, engine/common/log.h,
//                                          engine/common/error_text.h, engine/common/utf8.h
//   enumeration                            engine/enumeration/device_list.h, engine/enumeration/com_port.h
//   package preparation and installation   engine/package/prepare.h, engine/install/install.h,
//                                          engine/package/kept_source.h
//   driver store and own certificates      engine/store/driver_store.h, engine/signing/own_certificates.h
//   process set-up and Windows facts       engine/common/system.h, engine/common/windows_version.h
//   folders held against links             engine/payload/security.h
// The last four need the Windows headers; code that is also built on the host includes only the
// first ones.
#pragma once

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/enumeration/device_list.h"

#ifdef _WIN32
#include "engine/common/error_text.h"
#include "engine/common/system.h"
#include "engine/common/utf8.h"
#include "engine/common/windows_version.h"
#include "engine/enumeration/com_port.h"
#include "engine/install/install.h"
#include "engine/package/kept_source.h"
#include "engine/package/prepare.h"
#include "engine/payload/security.h"
#include "engine/signing/own_certificates.h"
#include "engine/store/driver_store.h"
#endif
