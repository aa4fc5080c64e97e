// The render plugin xbr2x.rpi.
#include "kernels/xbr.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kXbr2x)
