// The render plugin hq3x.rpi.
#include "kernels/hqx.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kHq3x)
