#pragma once
// The product version, shown in the About box through the version resource.
#define QM_VERSION_MAJOR 1
#define QM_VERSION_MINOR 0
#define QM_VERSION_RELEASE 0
#define QM_VERSION_BUILD 0
#define QM_VERSION_TEXT "1.0.0.0"
