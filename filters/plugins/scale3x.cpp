// The render plugin scale3x.rpi.
#include "kernels/scale2x.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kScale3x)
