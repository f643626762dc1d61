// The product's version: the tool's --version, the setup's version block and
// the build read it here. Plain macros, as the resource compiler reads them.
#ifndef OV_BASE_VERSION_H
#define OV_BASE_VERSION_H

#define OV_VERSION_MAJOR 1
#define OV_VERSION_MINOR 10
#define OV_VERSION_TEXT "1.10"

#endif
