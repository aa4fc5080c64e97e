// The render plugin super2xsai.rpi.
#include "kernels/sai.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kSuperSai2x)
