#include "synth/fp_mode.h"

FpModeGuard::FpModeGuard() : saved_(0) {}
FpModeGuard::~FpModeGuard() = default;
