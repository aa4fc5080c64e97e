// The render plugin nearest3x.rpi.
#include "kernels/nearest.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kNearest3x)
