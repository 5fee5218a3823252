#include "synth/params.h"
#include "synth/synth.h"

const uint8_t* synthPatch(const Synth& synth, int32_t program) { (void)synth; (void)program; return nullptr; }
void voiceParamUpdate(Synth& synth, int32_t voice) { (void)synth; (void)voice; }
void channelParamUpdate(Synth& synth, int32_t channel) { (void)synth; (void)channel; }
