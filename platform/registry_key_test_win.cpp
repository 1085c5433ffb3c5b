// The utility's registry key is for administrators only: the DACL a new key gets, and the one an
// existing key is given again, read back from the key.
#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

const std::wstring kParent = L"SOFTWARE\\Orvane Graphics Test";

std::wstring TestKey(const wchar_t* name) {
    return kParent + L"\\" + name + L"-" + std::to_wstring(GetCurrentProcessId());
}

// The key's DACL in SDDL, or what went wrong.
std::wstring DaclOf(const std::wstring& key) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, READ_CONTROL, &raw) != ERROR_SUCCESS)
        return L"(no key)";
    DWORD size = 0;
    RegGetKeySecurity(raw, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> descriptor(size ? size : 1);
    const LONG status = RegGetKeySecurity(raw, DACL_SECURITY_INFORMATION, descriptor.data(), &size);
    RegCloseKey(raw);
    if (status != ERROR_SUCCESS) return L"(RegGetKeySecurity " + std::to_wstring(status) + L")";
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"(no SDDL)";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

void Remove(const std::wstring& key) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kParent.c_str());
}

}  // namespace

TEST(RegistryProtectKey, ANewKeyAndAnExistingOneEndWithSystemAndAdministratorsOnly) {
    const std::wstring fresh = TestKey(L"New");
    ASSERT_TRUE(platform::RegistryProtectKey(fresh.c_str()).ok());
    const std::wstring freshDacl = DaclOf(fresh);
    Remove(fresh);

    // As an older version made it: the key inherits what SOFTWARE grants (Users may read).
    const std::wstring existing = TestKey(L"Existing");
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, existing.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(raw);
    const std::wstring before = DaclOf(existing);
    ASSERT_TRUE(platform::RegistryProtectKey(existing.c_str()).ok());
    const std::wstring existingDacl = DaclOf(existing);
    Remove(existing);

    EXPECT_EQ(Narrow(freshDacl), "D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");
    EXPECT_EQ(Narrow(existingDacl), "D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)")
        << "before: " << Narrow(before);
}
