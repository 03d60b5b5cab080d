// The sample loop with 512-bit vectors, eight tones at a time; compiled with AVX-512 and
// only called after a run-time check of the processor.
#define CALDRITH_KERNEL_NS kernel_avx512
#define CALDRITH_KERNEL_LANES 8
#include "engine/render_kernel.inc"
