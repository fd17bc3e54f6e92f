// The reference codecs the tests use as oracles: spandsp (G.711, G.726) and libgsm (GSM 06.10).
#pragma once

#include <math.h>    // before spandsp, which otherwise redefines lrint and friends
#include <stdint.h>  // spandsp's headers expect the C integer types in the global namespace

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/g726.h>

extern "C" {
#include <gsm.h>
}
