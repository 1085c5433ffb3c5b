// The system's growable array of zero-filled, byte-copied records, and the allocator it draws on.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

// Hands out blocks of the process-wide default heap. Stateless: every array operation that needs
// storage makes one on the spot. A failed allocation throws std::bad_alloc.
class CMAllocator {
public:
    virtual void* Allocate(std::uint32_t size) { return ::operator new(size); }
    virtual void Free(void* block) { ::operator delete(block); }
};

// Owned by whoever creates it; used by one thread at a time. Callers read `items` and `count`
// directly. Every operation gets its new storage before it changes a field, so a failed
// allocation leaves the array as it was.
template <typename T, typename ArgT = const T&>
class CMArray {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved and stored by byte copy");

public:
    CMArray() = default;
    CMArray(const CMArray&) = delete;
    CMArray& operator=(const CMArray&) = delete;

    virtual ~CMArray() {
        if (items == nullptr) return;
        CMAllocator allocator;
        allocator.Free(items);
        items = nullptr;
    }

    virtual void SetCount(std::int32_t newCount, std::int32_t newGrowStep = -1) {
        const std::int32_t step = newGrowStep != -1 ? newGrowStep : growStep;
        CMAllocator allocator;
        if (newCount == 0) {
            if (items != nullptr) allocator.Free(items);
            items = nullptr;
            count = 0;
            capacity = 0;
            growStep = step;
            return;
        }
        if (items == nullptr) {
            T* fresh = Allocate(allocator, newCount);
            std::memset(static_cast<void*>(fresh), 0, Bytes(newCount));
            items = fresh;
            count = newCount;
            capacity = newCount;
            growStep = step;
            return;
        }
        if (newCount <= capacity) {
            if (newCount > count) {
                std::memset(static_cast<void*>(items + count), 0, Bytes(newCount - count));
            }
            count = newCount;
            growStep = step;
            return;
        }
        // The first growth fixes the step from the size the array has reached by then.
        std::int32_t effectiveStep = step;
        if (effectiveStep == 0) {
            effectiveStep = count / 8;
            if (effectiveStep < 4) effectiveStep = 4;
            if (effectiveStep > 1024) effectiveStep = 1024;
        }
        std::int32_t newCapacity = capacity + effectiveStep;
        if (newCount >= newCapacity) newCapacity = newCount;
        T* fresh = Allocate(allocator, newCapacity);
        std::memcpy(static_cast<void*>(fresh), items, Bytes(count));
        std::memset(static_cast<void*>(fresh + count), 0, Bytes(newCount - count));
        allocator.Free(items);
        items = fresh;
        count = newCount;
        capacity = newCapacity;
        growStep = effectiveStep;
    }

    virtual void Resize(std::int32_t newCount, std::int32_t newGrowStep) {
        SetCount(newCount, newGrowStep);
    }

    virtual void Compact() {
        if (count == capacity) return;
        CMAllocator allocator;
        T* fresh = nullptr;
        if (count != 0) {
            fresh = Allocate(allocator, count);
            std::memcpy(static_cast<void*>(fresh), items, Bytes(count));
        }
        allocator.Free(items);
        items = fresh;
        capacity = count;
    }

    virtual void StoreAt(std::int32_t index, ArgT value) {
        // The argument may live in this array's storage, which the growth below may free.
        T copy;
        std::memcpy(static_cast<void*>(&copy), &value, sizeof(T));
        if (index >= count) SetCount(index + 1, -1);
        std::memcpy(static_cast<void*>(items + index), &copy, sizeof(T));
    }

    T* items = nullptr;
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::int32_t growStep = 0;

private:
    static std::uint32_t Bytes(std::int32_t elements) {
        return static_cast<std::uint32_t>(elements) * static_cast<std::uint32_t>(sizeof(T));
    }

    static T* Allocate(CMAllocator& allocator, std::int32_t elements) {
        return static_cast<T*>(allocator.Allocate(Bytes(elements)));
    }
};
