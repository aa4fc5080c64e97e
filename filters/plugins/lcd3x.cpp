// The render plugin lcd3x.rpi.
#include "kernels/lcd.h"
#include "plugin_wrapper.h"

RPI_DEFINE_PLUGIN(kLcd3x)
