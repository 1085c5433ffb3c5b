/* A call that may raise a structured exception, made so that the raise comes back as a result:
 * the kernel glue's way to MmMapLockedPagesSpecifyCache(UserMode), which raises on failure. Written
 * in assembly (ovnvxd_guard_<arch>.S) because C compiled by GCC has no __try/__except. */
#ifndef OVNVXD_GUARD_H
#define OVNVXD_GUARD_H

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*OvnVxdGuardedFunction)(void* argument);

/* 1 when function(argument) returned, 0 when it raised: every frame it left behind has been
 * unwound, with their termination handlers run. */
int OvnVxdGuardedCall(OvnVxdGuardedFunction function, void* argument);

#ifdef __cplusplus
}
#endif

#endif /* OVNVXD_GUARD_H */
