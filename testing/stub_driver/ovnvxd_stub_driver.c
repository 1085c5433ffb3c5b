/* Test image of the OvnVxd kernel driver: loads, offers \Device\OvnVxd that opens and closes,
 * unloads. */
#include <ntddk.h>

static NTSTATUS NTAPI CompleteOpenClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name;
    PDEVICE_OBJECT device = NULL;
    (void)registryPath;
    RtlInitUnicodeString(&name, L"\\Device\\OvnVxd");
    NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    driver->MajorFunction[IRP_MJ_CREATE] = CompleteOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = CompleteOpenClose;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}
