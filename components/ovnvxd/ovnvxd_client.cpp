// The client's requests: configuration access, enumeration, mapping and unmapping.
#include "components/ovnvxd/ovnvxd_client.h"

#include <vector>

bool COvnVxdClient::Request(std::uint32_t code, void* buffer, std::uint32_t inLength,
                            std::uint32_t outLength) {
    std::uint32_t answered = 0, error = 0;
    if (!transport_.Control(code, buffer, inLength, outLength, &answered, &error)) {
        lastError_.store(error, std::memory_order_relaxed);
        return false;
    }
    if (answered != outLength) {
        lastError_.store(OVNVXD_BAD_LENGTH, std::memory_order_relaxed);
        return false;
    }
    return outLength == 0 || *static_cast<const std::uint32_t*>(buffer) == OVNVXD_PROTOCOL_VERSION;
}

int COvnVxdClient::ConfigAccess(std::uint32_t device, std::uint32_t offset, void* data,
                                std::uint32_t size, std::uint32_t direction) {
    if (data == nullptr || (size != 1 && size != 2 && size != 4)) return 0;
    std::lock_guard<std::mutex> hold(lock_);
    if (direction == 0) {
        union {
            OvnVxdConfigRead request;
            OvnVxdConfigReadAnswer answer;
        } io{};
        io.request = {OVNVXD_PROTOCOL_VERSION, device, offset, size};
        if (!Request(OVNVXD_IOCTL_CONFIG_READ, &io, sizeof io.request, sizeof io.answer)) return 0;
        std::memcpy(data, &io.answer.value, size);
        return 1;
    }
    if (direction != 1) return 0;
    OvnVxdConfigWrite request{OVNVXD_PROTOCOL_VERSION, device, offset, size, 0};
    std::memcpy(&request.value, data, size);
    return Request(OVNVXD_IOCTL_CONFIG_WRITE, &request, sizeof request, 0) ? 1 : 0;
}

int COvnVxdClient::ScanBus(PciScanCallback callback, void* context) {
    if (callback == nullptr) return 0;
    std::vector<std::uint16_t> devices;
    {
        std::lock_guard<std::mutex> hold(lock_);
        std::uint32_t next = 0;
        while (next < OVNVXD_ADDRESS_END) {
            union {
                OvnVxdEnumerate request;
                OvnVxdEnumerateAnswer answer;
            } io{};
            io.request = {OVNVXD_PROTOCOL_VERSION, next};
            if (!Request(OVNVXD_IOCTL_ENUMERATE, &io, sizeof io.request, sizeof io.answer)) {
                return 0;
            }
            // A driver that does not advance would loop for ever.
            if (io.answer.nextAddress <= next || io.answer.count > OVNVXD_ENUMERATE_BATCH) return 0;
            devices.insert(devices.end(), io.answer.devices, io.answer.devices + io.answer.count);
            next = io.answer.nextAddress;
        }
    }
    // Outside the lock: the callback reads configuration space through this client.
    for (std::uint16_t device : devices) callback(device, context);
    return 1;
}

bool COvnVxdClient::ReleasePages(std::uint32_t index) {
    Slot& slot = slots_[index];
    SlotRecord& record = records_[index];
    bool all = true;
    for (std::uint32_t page = 0; page < kPages; ++page) {
        // Closed to register access before the page goes away.
        slot.pages[page].store(nullptr, std::memory_order_release);
        if (record.driverIds[page] == 0) continue;
        OvnVxdUnmap request{OVNVXD_PROTOCOL_VERSION, record.driverIds[page]};
        all = Request(OVNVXD_IOCTL_UNMAP, &request, sizeof request, 0) && all;
        record.driverIds[page] = 0;
    }
    record.used = false;
    return all;
}

std::uint32_t COvnVxdClient::Map(std::uint32_t addressLow, std::uint32_t addressHigh,
                                 std::uint32_t length) {
    const std::uint64_t address = (std::uint64_t{addressHigh} << 32) | addressLow;
    std::lock_guard<std::mutex> hold(lock_);
    if (length == 0 || length > UINT64_MAX - address) {
        Fail(OVNVXD_BAD_PARAMETER);
        return 0;
    }
    std::uint32_t index = 0;
    while (index < kSlots && records_[index].used) ++index;
    if (index == kSlots) {
        Fail(OVNVXD_TOO_MANY_MAPPINGS);
        return 0;
    }
    Slot& slot = slots_[index];
    SlotRecord& record = records_[index];
    record.used = true;
    // The window starts at the aperture; its granted pages that it holds whole are mapped, and
    // published only once all of them are.
    volatile std::uint32_t* pages[kPages] = {};
    bool any = false;
    for (std::uint32_t page = 0; page < kPages; ++page) {
        const std::uint32_t offset = page * kPage;
        if (!OvnVxdGrantedOffset(offset) || length < offset || length - offset < kPage) continue;
        union {
            OvnVxdMap request;
            OvnVxdMapAnswer answer;
        } io{};
        io.request = {OVNVXD_PROTOCOL_VERSION, offset, address + offset, kPage};
        if (!Request(OVNVXD_IOCTL_MAP, &io, sizeof io.request, sizeof io.answer)) {
            ReleasePages(index);
            return 0;
        }
        record.driverIds[page] = io.answer.mapping;
        const std::uint64_t user = io.answer.userAddress;
        if (user == 0 || user > UINTPTR_MAX - (kPage - 1) || (user & (kPage - 1)) != 0) {
            // Not addressable from this process: give it back.
            Fail(OVNVXD_MAP_FAILED);
            ReleasePages(index);
            return 0;
        }
        pages[page] = reinterpret_cast<volatile std::uint32_t*>(static_cast<std::uintptr_t>(user));
        any = true;
    }
    if (!any) {
        Fail(OVNVXD_NOT_GRANTED);
        record.used = false;
        return 0;
    }
    for (std::uint32_t page = 0; page < kPages; ++page) {
        slot.pages[page].store(pages[page], std::memory_order_release);
    }
    return kMappingTag + index + 1;
}

int COvnVxdClient::Unmap(std::uint32_t mapping) {
    const std::uint32_t index = mapping - kMappingTag - 1;
    if (index >= kSlots) return 0;
    std::lock_guard<std::mutex> hold(lock_);
    if (!records_[index].used) return 0;
    return ReleasePages(index) ? 1 : 0;
}
