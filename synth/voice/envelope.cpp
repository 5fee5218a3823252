#include "synth/voice/envelope.h"
#include <cfloat>
#include "synth/voice/math.h"

namespace {

constexpr float fullLevel = 128.0f;
constexpr float silentLevel = 0.0001220703125f;  // 2^-13
constexpr float sustainTimeScale = 0.0019375f;

enum State : int32_t { idle = 0, attack = 1, decay = 2, sustain = 3, release = 4 };

void attackStep(Envelope& env) {
    env.level += env.attackStep;
    if (env.level >= fullLevel) {
        env.level = fullLevel;
        env.state = decay;
    }
}

void decayStep(Envelope& env) {
    env.level *= env.decayFactor;
    // Towards a sustain level of 0 the level must reach 0 for the decay to
    // end. In the subnormal range a factor above 0.5 rounds the level back to
    // itself, so it would stay stuck just above 0 and keep the voice for as
    // long as the key is held; below the normal range it counts as 0.
    if (env.level < FLT_MIN) env.level = 0;
    if (env.level <= env.sustainLevel) {
        env.level = env.sustainLevel;
        env.state = sustain;
    }
}

void sustainStep(Envelope& env) {
    env.level *= env.sustainFactor;
    if (env.level <= silentLevel) {
        env.level = 0;
        env.state = idle;
    } else if (env.level >= fullLevel) {
        env.level = fullLevel;
    }
}

void releaseStep(Envelope& env) {
    env.level *= env.releaseFactor;
    if (env.level <= silentLevel) {
        env.level = 0;
        env.state = idle;
    }
}

// A transition into attack or release does that state's step in the same tick.
void startAttack(Envelope& env) {
    env.state = attack;
    attackStep(env);
}

void startRelease(Envelope& env) {
    env.state = release;
    releaseStep(env);
}

}  // namespace

void envInit(Envelope& env) { env.state = idle; }

void envSetup(Envelope& env, const float* p) {
    env.attackStep = pow2(7.0f - 0.09375f * p[0]);
    env.decayFactor = 1.0f - pow2Span11(1.0f - p[1] / 128.0f);
    env.sustainLevel = p[2];
    env.sustainFactor = pow2((p[3] - 64.0f) * sustainTimeScale);
    env.releaseFactor = 1.0f - pow2Span11(1.0f - p[4] / 128.0f);
    env.amplify = p[5] / 128.0f;
}

void envTick(Envelope& env, int32_t gate) {
    const bool held = gate != 0;
    switch (env.state) {
        case idle:
            if (held) startAttack(env);
            else env.level = 0;
            break;
        case attack:
            if (held) attackStep(env);
            else startRelease(env);
            break;
        case decay:
            if (held) decayStep(env);
            else startRelease(env);
            break;
        case sustain:
            if (held) sustainStep(env);
            else startRelease(env);
            break;
        case release:
            if (held) startAttack(env);
            else releaseStep(env);
            break;
    }
    env.out = env.level * env.amplify;
}
