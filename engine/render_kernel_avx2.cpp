// The sample loop with 256-bit vectors; compiled with -mavx2 -mno-fma and only called
// after a run-time check of the processor.
#define CALDRITH_KERNEL_NS kernel_avx2
#include "engine/render_kernel.inc"
