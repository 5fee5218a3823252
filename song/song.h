#pragma once
// Song source files (JSON) compiled into modules, and modules turned back
// into song sources.
#include <cstdint>
#include <string>
#include <vector>
