#include "synth/fx/channel_fx.h"
#include "synth/params.h"
#include "synth/synth.h"

void channelFxInit(Synth& synth, int32_t c) {
    synth.channelControls[c][7] = 127;
    SynthChannel& ch = synth.channels[c];
    modDelayBind(ch.chorus, synth.chorusLines[c][0], synth.chorusLines[c][1], chorusLineLength - 1);
    distInit(ch.distortion);
    modDelayClear(ch.chorus);
    compressorInit(ch.compressor);
}
void channelFxUpdate(Synth& synth, int32_t c) { channelParamUpdate(synth, c); }
void channelFxProcess(Synth& synth, int32_t c, int32_t n) { (void)synth; (void)c; (void)n; }
