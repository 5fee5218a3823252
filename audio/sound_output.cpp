#include "audio/sound_output.h"
