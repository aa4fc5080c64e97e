// The render plugin hq4x.rpi.
#include "kernels/hqx.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kHq4x)
