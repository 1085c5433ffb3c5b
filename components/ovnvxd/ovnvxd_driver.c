/* OvnVxd.sys: the kernel glue of the driver core. A legacy NT driver with one device that only
 * SYSTEM and elevated administrators can open; PCI configuration through the HAL's bus-data calls,
 * RAM from MmGetPhysicalMemoryRanges, the granted register pages through MmMapIoSpace and an MDL
 * mapped into the calling process (a call that raises on failure, made through OvnVxdGuardedCall).
 * Each open handle keeps its mappings in its file object; they go at the handle's cleanup or at its
 * owner's exit, whichever comes first, always in the owner's address space while it still exists.
 */
#include <ntifs.h>

#include "components/ovnvxd/ovnvxd_core.h"
#include "components/ovnvxd/ovnvxd_guard.h"
#include "components/ovnvxd/ovnvxd_status.h"

#define OVNVXD_TAG 0x6478564Fu /* "OVxd" */
#ifndef MdlMappingNoExecute
#define MdlMappingNoExecute 0x40000000u
#endif

/* Non-executable pool where the system has it (Windows 8 and later; earlier systems reject the
 * type, and their non-paged pool is what there is). Set once in DriverEntry. */
static POOL_TYPE g_pool = NonPagedPool;
static ULONG g_noExecuteMapping = 0;

/* One open handle. Requests on it are serialised by its mutex; only the process that opened it may
 * send them, because its mappings live in that process's address space. */
typedef struct OvnVxdFile {
    LIST_ENTRY link; /* in g_files */
    KMUTEX lock;
    PEPROCESS owner; /* referenced for the life of the handle */
    OvnVxdHandle core;
} OvnVxdFile;

/* Every open handle, so that an owner's exit finds its handles' mappings. Lock order: g_filesLock,
 * then a file's lock. */
static LIST_ENTRY g_files;
static KMUTEX g_filesLock;

/* One range of I/O space: the kernel's view, the MDL describing it, and the caller's view. */
typedef struct OvnVxdKernelMapping {
    PVOID kernelAddress;
    PMDL mdl;
    PVOID userAddress;
    SIZE_T length;
} OvnVxdKernelMapping;

static ULONG SlotOf(uint32_t device) {
    PCI_SLOT_NUMBER slot;
    slot.u.AsULONG = 0;
    slot.u.bits.DeviceNumber = (device >> 3) & 0x1F;
    slot.u.bits.FunctionNumber = device & 7;
    return slot.u.AsULONG;
}

static int HalConfigRead(void* context, uint32_t device, uint32_t offset, void* data,
                         uint32_t size) {
    (void)context;
    return HalGetBusDataByOffset(PCIConfiguration, (device >> 8) & 0xFF, SlotOf(device), data,
                                 offset, size) == size;
}

static int HalConfigWrite(void* context, uint32_t device, uint32_t offset, const void* data,
                          uint32_t size) {
    (void)context;
    return HalSetBusDataByOffset(PCIConfiguration, (device >> 8) & 0xFF, SlotOf(device),
                                 (PVOID)data, offset, size) == size;
}

static int HalForEachRamRange(void* context, OvnVxdRamVisitor visit, void* visitContext) {
    PPHYSICAL_MEMORY_RANGE ranges = MmGetPhysicalMemoryRanges();
    PPHYSICAL_MEMORY_RANGE range;
    (void)context;
    if (ranges == NULL) return 0;
    for (range = ranges; range->BaseAddress.QuadPart != 0 || range->NumberOfBytes.QuadPart != 0;
         ++range) {
        if (!visit(visitContext, (uint64_t)range->BaseAddress.QuadPart,
                   (uint64_t)range->NumberOfBytes.QuadPart)) {
            break;
        }
    }
    ExFreePool(ranges);
    return 1;
}

static void FreeKernelMapping(OvnVxdKernelMapping* mapping) {
    if (mapping->userAddress != NULL) MmUnmapLockedPages(mapping->userAddress, mapping->mdl);
    if (mapping->mdl != NULL) IoFreeMdl(mapping->mdl);
    if (mapping->kernelAddress != NULL) MmUnmapIoSpace(mapping->kernelAddress, mapping->length);
    ExFreePoolWithTag(mapping, OVNVXD_TAG);
}

/* The one call that raises instead of failing; run through OvnVxdGuardedCall. */
static void MapIntoCaller(void* argument) {
    OvnVxdKernelMapping* mapping = (OvnVxdKernelMapping*)argument;
    mapping->userAddress = MmMapLockedPagesSpecifyCache(
        mapping->mdl, UserMode, MmNonCached, NULL, FALSE, NormalPagePriority | g_noExecuteMapping);
}

/* Runs in the context of the process that sent the request (the handle's owner). */
static int HalMapPhysical(void* context, uint64_t physicalAddress, uint64_t length, void** result,
                          uint64_t* userAddress) {
    PHYSICAL_ADDRESS physical;
    OvnVxdKernelMapping* mapping;
    (void)context;
    if (length == 0 || length > OVNVXD_PAGE_SIZE) return 0; /* the core asks for one page */
    mapping = (OvnVxdKernelMapping*)ExAllocatePoolWithTag(g_pool, sizeof *mapping, OVNVXD_TAG);
    if (mapping == NULL) return 0;
    RtlZeroMemory(mapping, sizeof *mapping);
    mapping->length = (SIZE_T)length;
    physical.QuadPart = (LONGLONG)physicalAddress;
    mapping->kernelAddress = MmMapIoSpace(physical, mapping->length, MmNonCached);
    if (mapping->kernelAddress != NULL) {
        mapping->mdl =
            IoAllocateMdl(mapping->kernelAddress, (ULONG)mapping->length, FALSE, FALSE, NULL);
    }
    if (mapping->mdl != NULL) {
        MmBuildMdlForNonPagedPool(mapping->mdl);
        if (!OvnVxdGuardedCall(MapIntoCaller, mapping)) mapping->userAddress = NULL;
    }
    if (mapping->userAddress == NULL) {
        FreeKernelMapping(mapping);
        return 0;
    }
    *result = mapping;
    *userAddress = (uint64_t)(ULONG_PTR)mapping->userAddress;
    return 1;
}

static void HalUnmapPhysical(void* context, void* mapping) {
    (void)context;
    FreeKernelMapping((OvnVxdKernelMapping*)mapping);
}

static const OvnVxdHal kHal = {NULL,           HalConfigRead,   HalConfigWrite, HalForEachRamRange,
                               HalMapPhysical, HalUnmapPhysical};

static NTSTATUS StatusOf(OvnVxdResult result) { return (NTSTATUS)OvnVxdStatusOf(result); }

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Elevated administrators and SYSTEM only: the device's DACL says so, and so does this check of
 * the opener's token. The I/O manager hands every open its access state; an open that comes with
 * no security context at all (Wine's I/O emulation does that) has still passed the DACL, so the
 * DACL alone decides it. */
static BOOLEAN CallerIsAdministrator(PIO_STACK_LOCATION stack) {
    PIO_SECURITY_CONTEXT security = stack->Parameters.Create.SecurityContext;
    PSECURITY_SUBJECT_CONTEXT subject;
    PACCESS_TOKEN token;
    if (security == NULL) return TRUE;
    if (security->AccessState == NULL) return FALSE;
    subject = &security->AccessState->SubjectSecurityContext;
    token = subject->ClientToken != NULL ? subject->ClientToken : subject->PrimaryToken;
    return token != NULL && SeTokenIsAdmin(token);
}

static NTSTATUS NTAPI Create(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    OvnVxdFile* file;
    (void)device;
    if (irp->RequestorMode != KernelMode && !CallerIsAdministrator(stack)) {
        return Complete(irp, STATUS_ACCESS_DENIED, 0);
    }
    /* The device has no namespace below it. */
    if (stack->FileObject->FileName.Length != 0) return Complete(irp, STATUS_ACCESS_DENIED, 0);
    file = (OvnVxdFile*)ExAllocatePoolWithTag(g_pool, sizeof *file, OVNVXD_TAG);
    if (file == NULL) return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    KeInitializeMutex(&file->lock, 0);
    file->owner = IoGetCurrentProcess();
    ObReferenceObject(file->owner);
    OvnVxdHandleInit(&file->core, (uint32_t)((ULONG_PTR)file >> 4));
    KeWaitForSingleObject(&g_filesLock, Executive, KernelMode, FALSE, NULL);
    InsertTailList(&g_files, &file->link);
    KeReleaseMutex(&g_filesLock, FALSE);
    stack->FileObject->FsContext = file;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    OvnVxdFile* file = (OvnVxdFile*)stack->FileObject->FsContext;
    uint32_t answered = 0;
    OvnVxdResult result;
    (void)device;
    if (file == NULL) return Complete(irp, STATUS_INVALID_HANDLE, 0);
    /* A handle passed to another process must not map into, or unmap from, the wrong one. */
    if (IoGetCurrentProcess() != file->owner) return Complete(irp, STATUS_ACCESS_DENIED, 0);
    KeWaitForSingleObject(&file->lock, Executive, KernelMode, FALSE, NULL);
    result = OvnVxdDispatch(&file->core, &kHal, stack->Parameters.DeviceIoControl.IoControlCode,
                            irp->AssociatedIrp.SystemBuffer,
                            stack->Parameters.DeviceIoControl.InputBufferLength,
                            stack->Parameters.DeviceIoControl.OutputBufferLength, &answered);
    KeReleaseMutex(&file->lock, FALSE);
    return Complete(irp, StatusOf(result), result == OVNVXD_OK ? answered : 0);
}

/* The last handle to the file object is closing, in the closing process's context. The mappings
 * go now, in the owner's address space: the owner is still alive whenever its handle has mappings
 * left, because its exit empties them (OwnerExit) under the same lock. A handle duplicated into
 * another process closes there, so the owner is attached to then. Every later map request on the
 * handle (one already waiting on the lock included) is refused by the core. */
static NTSTATUS NTAPI Cleanup(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    OvnVxdFile* file = (OvnVxdFile*)stack->FileObject->FsContext;
    (void)device;
    if (file != NULL) {
        KeWaitForSingleObject(&file->lock, Executive, KernelMode, FALSE, NULL);
        if (OvnVxdHandleMappingCount(&file->core) == 0 || IoGetCurrentProcess() == file->owner) {
            OvnVxdHandleCleanup(&file->core, &kHal);
        } else {
            KAPC_STATE apc;
            KeStackAttachProcess((PKPROCESS)file->owner, &apc);
            OvnVxdHandleCleanup(&file->core, &kHal);
            KeUnstackDetachProcess(&apc);
        }
        KeReleaseMutex(&file->lock, FALSE);
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI Close(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    OvnVxdFile* file = (OvnVxdFile*)stack->FileObject->FsContext;
    (void)device;
    if (file != NULL) {
        stack->FileObject->FsContext = NULL;
        KeWaitForSingleObject(&g_filesLock, Executive, KernelMode, FALSE, NULL);
        RemoveEntryList(&file->link);
        KeReleaseMutex(&g_filesLock, FALSE);
        /* Cleanup came first and left nothing; this is for a file object that never saw one. */
        if (OvnVxdHandleMappingCount(&file->core) != 0) {
            KAPC_STATE apc;
            KeStackAttachProcess((PKPROCESS)file->owner, &apc);
            OvnVxdHandleCleanup(&file->core, &kHal);
            KeUnstackDetachProcess(&apc);
        }
        ObDereferenceObject(file->owner);
        ExFreePoolWithTag(file, OVNVXD_TAG);
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* A process is going: the handles it opened lose their mappings now, in its own context (the
 * routine runs on its last thread, before its address space is torn down), whatever other process
 * may still hold a duplicate of them. */
/* cppcheck-suppress constParameter ; the signature is PCREATE_PROCESS_NOTIFY_ROUTINE's */
static VOID NTAPI OwnerExit(HANDLE parent, HANDLE processId, BOOLEAN create) {
    PLIST_ENTRY entry;
    (void)parent;
    if (create) return;
    KeWaitForSingleObject(&g_filesLock, Executive, KernelMode, FALSE, NULL);
    for (entry = g_files.Flink; entry != &g_files; entry = entry->Flink) {
        OvnVxdFile* file = CONTAINING_RECORD(entry, OvnVxdFile, link);
        if (PsGetProcessId(file->owner) != processId) continue;
        KeWaitForSingleObject(&file->lock, Executive, KernelMode, FALSE, NULL);
        OvnVxdHandleCleanup(&file->core, &kHal);
        KeReleaseMutex(&file->lock, FALSE);
    }
    KeReleaseMutex(&g_filesLock, FALSE);
}

/* A SID of the NT authority with up to two sub-authorities, built here rather than taken from the
 * kernel's exported table, which not every kernel fills in. */
typedef struct OvnVxdSid {
    SID sid;
    /* cppcheck-suppress unusedStructMember ; written through RtlSubAuthoritySid(sid, 1) */
    ULONG moreSubAuthority;
} OvnVxdSid;

static PSID MakeNtSid(OvnVxdSid* storage, UCHAR count, ULONG first, ULONG second) {
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID sid = &storage->sid;
    RtlInitializeSid(sid, &nt, count);
    *RtlSubAuthoritySid(sid, 0) = first;
    if (count > 1) *RtlSubAuthoritySid(sid, 1) = second;
    return sid;
}

/* DACL: full access for SYSTEM and the Administrators alias, nobody else. */
static NTSTATUS SecureDevice(PDEVICE_OBJECT device) {
    SECURITY_DESCRIPTOR descriptor;
    OvnVxdSid systemStorage, administratorsStorage;
    PSID localSystem = MakeNtSid(&systemStorage, 1, SECURITY_LOCAL_SYSTEM_RID, 0);
    PSID administrators =
        MakeNtSid(&administratorsStorage, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const ULONG aclLength = (ULONG)sizeof(ACL) + 2 * (ULONG)sizeof(ACCESS_ALLOWED_ACE) +
                            RtlLengthSid(localSystem) + RtlLengthSid(administrators);
    PACL acl = (PACL)ExAllocatePoolWithTag(PagedPool, aclLength, OVNVXD_TAG);
    HANDLE handle = NULL;
    NTSTATUS status;
    if (acl == NULL) return STATUS_INSUFFICIENT_RESOURCES;
    status = RtlCreateAcl(acl, aclLength, ACL_REVISION);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, localSystem);
    if (NT_SUCCESS(status)) {
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, administrators);
    }
    if (NT_SUCCESS(status))
        status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(status)) status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
    if (NT_SUCCESS(status)) {
        status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode,
                                       &handle);
    }
    if (NT_SUCCESS(status)) {
        status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
        ZwClose(handle);
    }
    ExFreePoolWithTag(acl, OVNVXD_TAG);
    return status;
}

/* The I/O manager unloads the driver only once no file object of its device is left, so no
 * mapping is: every one belongs to a handle, and goes at its cleanup at the latest. */
static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    PsSetCreateProcessNotifyRoutine(OwnerExit, TRUE);
    RtlInitUnicodeString(&link, OVNVXD_KERNEL_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name, link;
    PDEVICE_OBJECT device = NULL;
    RTL_OSVERSIONINFOW version;
    NTSTATUS status;
    (void)registryPath;
    RtlZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (NT_SUCCESS(RtlGetVersion(&version)) &&
        (version.dwMajorVersion > 6 ||
         (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2))) {
        g_pool = NonPagedPoolNx;
        g_noExecuteMapping = MdlMappingNoExecute;
    }
    InitializeListHead(&g_files);
    KeInitializeMutex(&g_filesLock, 0);
    RtlInitUnicodeString(&name, OVNVXD_KERNEL_DEVICE_NAME);
    RtlInitUnicodeString(&link, OVNVXD_KERNEL_LINK_NAME);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE,
                            &device);
    if (!NT_SUCCESS(status)) return status;
    status = SecureDevice(device);
    if (NT_SUCCESS(status)) status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    /* Without it an owner's exit could leave mappings behind: no driver then. */
    status = PsSetCreateProcessNotifyRoutine(OwnerExit, FALSE);
    if (!NT_SUCCESS(status)) {
        IoDeleteSymbolicLink(&link);
        IoDeleteDevice(device);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = Create;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DeviceControl;
    driver->MajorFunction[IRP_MJ_CLEANUP] = Cleanup;
    driver->MajorFunction[IRP_MJ_CLOSE] = Close;
    driver->DriverUnload = Unload;
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
