#pragma once

// The upscale tests' images now live in the shared kit.
#include "support/TestImages.h"
