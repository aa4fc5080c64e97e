// The render plugin xbr3x.rpi.
#include "kernels/xbr.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kXbr3x)
