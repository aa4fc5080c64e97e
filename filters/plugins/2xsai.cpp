// The render plugin 2xsai.rpi.
#include "kernels/sai.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kSai2x)
