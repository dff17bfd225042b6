// Science products read from a recording, one header a family: MAG, STE, the least-squares
// routine under their fits, analyzer rates and burst housekeeping.
#pragma once

#include "bursthk.h"
#include "drevrates.h"
#include "lsq.h"
#include "mag.h"
#include "ste.h"
