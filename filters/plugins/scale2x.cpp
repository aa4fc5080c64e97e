// The render plugin scale2x.rpi.
#include "kernels/scale2x.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kScale2x)
