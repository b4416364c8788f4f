// The sample-media builders live in tests/samples; the load harness and the
// benchmarks still reach them by this older path.
#pragma once

#include "tests/samples/sample_media.h"
