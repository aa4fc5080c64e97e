// The render plugin supereagle.rpi.
#include "kernels/sai.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kSuperEagle2x)
