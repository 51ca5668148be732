// Target-only, AArch64: the images' start-up code, in place of Debian's crt0
// for arm64, whose hand-made PE header AAVMF refuses. objcopy writes the PE
// header instead, as for the other architectures.
//
// The firmware enters _start with the image handle in x0 and the system table
// in x1. gnu-efi's _relocate(ImageBase, _DYNAMIC, ...) first applies the
// image's own relocations for where it was loaded; then efi_main runs, and
// its status goes back to the firmware.
__asm__(R"(
	.section .text._start, "ax"
	.globl _start
	.type _start, %function
_start:
	stp x29, x30, [sp, #-32]!
	mov x29, sp
	stp x0, x1, [sp, #16]
	mov x2, x0
	mov x3, x1
	adrp x0, ImageBase
	add x0, x0, #:lo12:ImageBase
	adrp x1, _DYNAMIC
	add x1, x1, #:lo12:_DYNAMIC
	bl _relocate
	cbnz x0, 0f
	ldp x0, x1, [sp, #16]
	bl efi_main
0:	ldp x29, x30, [sp], #32
	ret
	.size _start, . - _start

	// One empty base-relocation block: a PE image without a .reloc section
	// counts as not relocatable, and the firmware would have to load it at
	// address 0. The image relocates itself in _start instead.
	.section .reloc, "a"
	.long 0
	.long 12
	.short 0
	.short 0
)");
