#pragma once

// The cut-out's test images live in the shared kit with the others.
#include "support/TestImages.h"
