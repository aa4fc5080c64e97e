// The render plugin xbr4x.rpi.
#include "kernels/xbr.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kXbr4x)
