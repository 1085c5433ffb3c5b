/* OvnVxd.sys: the kernel glue of the driver core. A legacy NT driver with one device that only
 * SYSTEM and elevated administrators can open; PCI configuration through the HAL's bus-data calls,
 * register apertures through MmMapIoSpace and an MDL mapped into the calling process. Each open
 * handle keeps its mappings in its file object and loses them at cleanup. */
#include <ntifs.h>

#include "tools/ovnvxd/ovnvxd_core.h"

#define OVNVXD_TAG 0x6478564Fu /* "OVxd" */

/* One open handle. Requests on it are serialised by its mutex; only the process that opened it may
 * send them, because its mappings live in that process's address space. */
typedef struct OvnVxdFile {
    KMUTEX lock;
    PEPROCESS owner; /* referenced for the life of the handle */
    OvnVxdHandle core;
} OvnVxdFile;

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

static void FreeKernelMapping(OvnVxdKernelMapping* mapping) {
    if (mapping->userAddress != NULL) MmUnmapLockedPages(mapping->userAddress, mapping->mdl);
    if (mapping->mdl != NULL) IoFreeMdl(mapping->mdl);
    if (mapping->kernelAddress != NULL) MmUnmapIoSpace(mapping->kernelAddress, mapping->length);
    ExFreePoolWithTag(mapping, OVNVXD_TAG);
}

/* Runs in the context of the process that sent the request (the handle's owner). */
static int HalMapPhysical(void* context, uint64_t physicalAddress, uint32_t length, void** result,
                          uint64_t* userAddress) {
    PHYSICAL_ADDRESS physical;
    OvnVxdKernelMapping* mapping;
    (void)context;
    mapping =
        (OvnVxdKernelMapping*)ExAllocatePoolWithTag(NonPagedPool, sizeof *mapping, OVNVXD_TAG);
    if (mapping == NULL) return 0;
    RtlZeroMemory(mapping, sizeof *mapping);
    mapping->length = length;
    physical.QuadPart = (LONGLONG)physicalAddress;
    mapping->kernelAddress = MmMapIoSpace(physical, length, MmNonCached);
    if (mapping->kernelAddress != NULL) {
        mapping->mdl = IoAllocateMdl(mapping->kernelAddress, length, FALSE, FALSE, NULL);
    }
    if (mapping->mdl != NULL) {
        MmBuildMdlForNonPagedPool(mapping->mdl);
        mapping->userAddress = MmMapLockedPagesSpecifyCache(mapping->mdl, UserMode, MmNonCached,
                                                            NULL, FALSE, NormalPagePriority);
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

static const OvnVxdHal kHal = {NULL, HalConfigRead, HalConfigWrite, HalMapPhysical,
                               HalUnmapPhysical};

static NTSTATUS StatusOf(OvnVxdResult result) {
    switch (result) {
        case OVNVXD_OK:
            return STATUS_SUCCESS;
        case OVNVXD_BAD_VERSION:
            return STATUS_REVISION_MISMATCH;
        case OVNVXD_BAD_LENGTH:
            return STATUS_INFO_LENGTH_MISMATCH;
        case OVNVXD_BAD_PARAMETER:
            return STATUS_INVALID_PARAMETER;
        case OVNVXD_UNKNOWN_REQUEST:
            return STATUS_INVALID_DEVICE_REQUEST;
        case OVNVXD_NO_DEVICE:
            return STATUS_NO_SUCH_DEVICE;
        case OVNVXD_NOT_K740:
        case OVNVXD_WRITE_REFUSED:
        case OVNVXD_NOT_IN_K740_BAR:
            return STATUS_ACCESS_DENIED;
        case OVNVXD_BEYOND_BAR:
            return STATUS_CONFLICTING_ADDRESSES;
        case OVNVXD_NO_SUCH_MAPPING:
            return STATUS_INVALID_HANDLE;
        case OVNVXD_TOO_MANY_MAPPINGS:
        case OVNVXD_MAP_FAILED:
        default:
            return STATUS_INSUFFICIENT_RESOURCES;
    }
}

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
    file = (OvnVxdFile*)ExAllocatePoolWithTag(NonPagedPool, sizeof *file, OVNVXD_TAG);
    if (file == NULL) return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    KeInitializeMutex(&file->lock, 0);
    file->owner = IoGetCurrentProcess();
    ObReferenceObject(file->owner);
    OvnVxdHandleInit(&file->core, (uint32_t)((ULONG_PTR)file >> 4));
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

/* The last handle to the file object is closing, in the closing process's context: the mappings
 * go now, while the owner's address space is still there (process exit included). */
static NTSTATUS NTAPI Cleanup(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    OvnVxdFile* file = (OvnVxdFile*)stack->FileObject->FsContext;
    (void)device;
    if (file != NULL) {
        KeWaitForSingleObject(&file->lock, Executive, KernelMode, FALSE, NULL);
        if (IoGetCurrentProcess() == file->owner) {
            OvnVxdHandleRelease(&file->core, &kHal);
        } else {
            KAPC_STATE apc;
            KeStackAttachProcess((PKPROCESS)file->owner, &apc);
            OvnVxdHandleRelease(&file->core, &kHal);
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
        ObDereferenceObject(file->owner);
        ExFreePoolWithTag(file, OVNVXD_TAG);
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* A SID of the NT authority with up to two sub-authorities, built here rather than taken from the
 * kernel's exported table, which not every kernel fills in. */
typedef struct OvnVxdSid {
    SID sid;
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
    PSID system = MakeNtSid(&systemStorage, 1, SECURITY_LOCAL_SYSTEM_RID, 0);
    PSID administrators =
        MakeNtSid(&administratorsStorage, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const ULONG aclLength = (ULONG)sizeof(ACL) + 2 * (ULONG)sizeof(ACCESS_ALLOWED_ACE) +
                            RtlLengthSid(system) + RtlLengthSid(administrators);
    PACL acl = (PACL)ExAllocatePoolWithTag(PagedPool, aclLength, OVNVXD_TAG);
    HANDLE handle = NULL;
    NTSTATUS status;
    if (acl == NULL) return STATUS_INSUFFICIENT_RESOURCES;
    status = RtlCreateAcl(acl, aclLength, ACL_REVISION);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, system);
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

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, OVNVXD_KERNEL_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name, link;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;
    (void)registryPath;
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
    driver->MajorFunction[IRP_MJ_CREATE] = Create;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DeviceControl;
    driver->MajorFunction[IRP_MJ_CLEANUP] = Cleanup;
    driver->MajorFunction[IRP_MJ_CLOSE] = Close;
    driver->DriverUnload = Unload;
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
