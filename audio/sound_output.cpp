#include "audio/sound_output.h"

bool soundOutputStart(SoundOutput& output, RenderCallback callback, void* context, const char* driver, std::string* reason) { (void)output; (void)callback; (void)context; (void)driver; if (reason) *reason = "not implemented"; return false; }
void soundOutputClose(SoundOutput& output) { (void)output; }
void soundOutputSetVolume(SoundOutput& output, float volume) { (void)output; (void)volume; }
int32_t soundOutputPlayedBytes(SoundOutput& output) { (void)output; return 0; }
void soundOutputWake(SoundOutput& output) { (void)output; }
OutputPort soundOutputPort(SoundOutput& output) { OutputPort port; port.context = &output; return port; }
