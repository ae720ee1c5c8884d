// Function clones for wider vector units.
//
// A function marked CLONES_AVX2 is compiled twice on x86-64 with GCC: for
// the baseline instruction set and for AVX2 with FMA; the loader picks the
// one the processor runs. The two may differ in the last bits (fused
// multiply-adds), but one machine always runs the same one. Sanitizer
// builds keep the baseline only.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 &&           \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define CLONES_AVX2 __attribute__((target_clones("arch=x86-64-v3", "default")))
#define CLONES_WIDE __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define CLONES_AVX2
#define CLONES_WIDE
#endif
