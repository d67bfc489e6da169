#pragma once

// Every quantizer file that does colour arithmetic includes this first. Results must be
// bit-identical between the vector and scalar paths and from build to build, so a compiler may
// never fuse a multiply and an add into one rounding (GCC does so by default in C++ whenever
// the target has FMA, as AVX-512 does).
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif
