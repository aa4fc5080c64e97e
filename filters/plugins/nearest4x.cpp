// The render plugin nearest4x.rpi.
#include "kernels/nearest.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kNearest4x)
