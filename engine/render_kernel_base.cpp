// The sample loop for any x86-64 processor (two doubles per instruction).
#define CALDRITH_KERNEL_NS kernel_base
#define CALDRITH_KERNEL_LANES 2
#include "engine/render_kernel.inc"
