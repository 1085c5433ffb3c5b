/* OvnVxdGuardedCall on x86_64: calls function(argument) inside a frame whose exception handler
 * unwinds back to it, so that a call that raises (MmMapLockedPagesSpecifyCache for a user-mode
 * mapping) returns 0 instead of stopping the machine. C compiled by GCC has no __try/__except.
 *   int OvnVxdGuardedCall(void (*function)(void*), void* argument);  1: returned, 0: raised */
    .text
    .globl OvnVxdGuardedCall
    .def OvnVxdGuardedCall; .scl 2; .type 32; .endef
    .seh_proc OvnVxdGuardedCall
OvnVxdGuardedCall:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler OvnVxdGuardHandler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    movl $1, %eax
OvnVxdGuardResume: /* RtlUnwindEx lands here with RSP restored and RAX = 0 */
    addq $40, %rsp
    ret
    .seh_endproc

/* The frame's language handler: (record, establisher frame, context, dispatcher context). On the
 * first pass it unwinds every frame above OvnVxdGuardedCall's (their handlers run) and resumes at
 * OvnVxdGuardResume with 0, as __except does; during an unwind it lets the unwind go on. */
    .def OvnVxdGuardHandler; .scl 3; .type 32; .endef
    .seh_proc OvnVxdGuardHandler
OvnVxdGuardHandler:
    subq $56, %rsp
    .seh_stackalloc 56
    .seh_endprologue
    testl $6, 4(%rcx)                   /* ExceptionFlags: EXCEPTION_UNWINDING | EXIT_UNWIND */
    jnz 1f
    movq %r8, 32(%rsp)                  /* ContextRecord */
    movq $0, 40(%rsp)                   /* HistoryTable */
    movq %rcx, %r8                      /* ExceptionRecord */
    movq %rdx, %rcx                     /* TargetFrame */
    leaq OvnVxdGuardResume(%rip), %rdx  /* TargetIp */
    xorl %r9d, %r9d                     /* ReturnValue */
    callq RtlUnwindEx                   /* does not return */
1:
    movl $1, %eax                       /* ExceptionContinueSearch */
    addq $56, %rsp
    ret
    .seh_endproc
