/* OvnVxdGuardedCall on i686: calls function(argument) with an exception registration of its own on
 * the FS:0 chain, whose handler unwinds back to it, so that a call that raises
 * (MmMapLockedPagesSpecifyCache for a user-mode mapping) returns 0 instead of stopping the machine.
 * C compiled by GCC has no __try/__except.
 *   int __cdecl OvnVxdGuardedCall(void (__cdecl *function)(void*), void* argument);
 *   1: returned, 0: raised */
    .text
    .globl _OvnVxdGuardedCall
    .def _OvnVxdGuardedCall; .scl 2; .type 32; .endef
_OvnVxdGuardedCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl $_OvnVxdGuardHandler        /* the registration: handler, then the previous one */
    pushl %fs:0
    movl %esp, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    addl $4, %esp
    movl $1, %eax
OvnVxdGuardResume:                    /* ESP at the registration, EBP at the saved EBP */
    movl (%esp), %ecx
    movl %ecx, %fs:0
    addl $8, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

/* The registration's handler: (record, registration, context, dispatcher context), cdecl. On the
 * first pass it unwinds the registrations above its own (their handlers run), then continues at
 * OvnVxdGuardResume on the guarded frame with 0, never returning to the dispatcher, as __except
 * does; during an unwind it lets the unwind go on. */
    .def _OvnVxdGuardHandler; .scl 3; .type 32; .endef
_OvnVxdGuardHandler:
    movl 4(%esp), %eax
    testl $6, 4(%eax)                 /* ExceptionFlags: EXCEPTION_UNWINDING | EXIT_UNWIND */
    jnz 1f
    movl 8(%esp), %edx
    pushl $0                          /* ReturnValue */
    pushl %eax                        /* ExceptionRecord */
    pushl $0                          /* TargetIp: unused on i686 */
    pushl %edx                        /* TargetFrame: up to, not including, this registration */
    call _RtlUnwind@16
    movl 8(%esp), %edx
    movl %edx, %esp
    leal 20(%edx), %ebp
    xorl %eax, %eax
    jmp OvnVxdGuardResume
1:
    movl $1, %eax                     /* ExceptionContinueSearch */
    ret
