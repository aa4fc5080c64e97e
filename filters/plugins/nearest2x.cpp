// The render plugin nearest2x.rpi.
#include "kernels/nearest.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kNearest2x)
