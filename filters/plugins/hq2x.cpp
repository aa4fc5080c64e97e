// The render plugin hq2x.rpi.
#include "kernels/hqx.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kHq2x)
