// The render plugin scanlines2x.rpi.
#include "kernels/scanlines.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kScanlines2x)
