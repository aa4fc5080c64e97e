// The render plugin mmpx2x.rpi.
#include "kernels/mmpx.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kMmpx2x)
