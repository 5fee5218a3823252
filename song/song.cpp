#include "song/song.h"
