// A card's register file and configuration space behind the driver-access operations, for tests.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "hwaccess/driver_access.h"

// The register file reads back what was written; a card's own behaviour (pins, an engine's status)
// comes from a subclass overriding ReadRegister/WriteRegister. Mapping, unmapping and the bus scan
// fail as a library without those exports does. Install() routes the operations here until
// Uninstall(); tests run it on one thread.
class CFakeDriverAccess : public CDriverAccess {
public:
    void Install() { driver_access::Install(this); }
    static void Uninstall() { driver_access::ResetForTesting(); }

    int CsRead32(std::uint32_t, std::uint32_t offset, std::uint32_t* value) override {
        *value = config[offset];
        return 1;
    }
    int CsWrite32(std::uint32_t, std::uint32_t offset, std::uint32_t value) override {
        config[offset] = value;
        return 1;
    }
    int MemRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value) override {
        if (onlyMapping && mapping != *onlyMapping) return 0;
        *value = ReadRegister(offset);
        return 1;
    }
    int MemWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value) override {
        if (onlyMapping && mapping != *onlyMapping) return 0;
        WriteRegister(offset, value);
        return 1;
    }
    std::uint32_t MemMap64(std::uint64_t, std::uint32_t) override { return 0; }
    int MemUnmap(std::uint32_t) override { return 0; }
    int PciScanBus(PciScanCallback, void*) override { return 0; }

    std::map<std::uint32_t, std::uint32_t> registers;
    std::map<std::uint32_t, std::uint32_t> config;  // PCI configuration dwords, any device
    // When set, register accesses through any other mapping fail.
    std::optional<std::uint32_t> onlyMapping;

protected:
    virtual std::uint32_t ReadRegister(std::uint32_t offset) { return registers[offset]; }
    virtual void WriteRegister(std::uint32_t offset, std::uint32_t value) {
        registers[offset] = value;
    }
};

// A library's six exports; a null one is missing.
struct tagLibraryExports {
    CsReadWriteFn csReadWrite = nullptr;
    MemReadFn memRead = nullptr;
    MemWriteFn memWrite = nullptr;
    MemMap64Fn memMap64 = nullptr;
    MemUnmapFn memUnmap = nullptr;
    PciScanBusFn pciScanBus = nullptr;
};

// A loaded library module with these exports, reached through the library's own path (export
// lookup, entry-point cache, argument packing): for bridges to the library's client and for
// measuring the product's register path.
class CExportsLibrary {
public:
    explicit CExportsLibrary(const tagLibraryExports& exports) : exports_(exports) {
        library_.SetModule(&exports_);
    }
    ~CExportsLibrary() { driver_access::Install(nullptr); }
    CExportsLibrary(const CExportsLibrary&) = delete;
    CExportsLibrary& operator=(const CExportsLibrary&) = delete;

    void Install() { driver_access::Install(&library_); }

private:
    static void* Find(void* module, const char* name) {
        const auto& e = *static_cast<const tagLibraryExports*>(module);
        const std::string n = name;
        if (n == "csReadWrite") return reinterpret_cast<void*>(e.csReadWrite);
        if (n == "memRead") return reinterpret_cast<void*>(e.memRead);
        if (n == "memWrite") return reinterpret_cast<void*>(e.memWrite);
        if (n == "memMap64") return reinterpret_cast<void*>(e.memMap64);
        if (n == "memUnmap") return reinterpret_cast<void*>(e.memUnmap);
        if (n == "pciScanBus") return reinterpret_cast<void*>(e.pciScanBus);
        return nullptr;
    }

    tagLibraryExports exports_;
    CLibraryDriverAccess library_{&Find};
};
