// The manifest and version resource that Windows and deployment tools read from the shipped exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "child_process.h"

namespace halvern::testing {
namespace {

std::wstring CleanupExePath() {
    return ToolPath(L"../HalvernCleanup.exe");
}

struct ModuleTraits {
    using handle_type = HMODULE;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type module) const noexcept { ::FreeLibrary(module); }
};

TEST(ShippedResources, EmbedTheManifestWithAsInvokerAndWindows10Support) {
    const UniqueHandle<ModuleTraits> module(::LoadLibraryExW(
        CleanupExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module) << ::GetLastError();
    const HRSRC found = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const HGLOBAL loaded = ::LoadResource(module.get(), found);
    ASSERT_NE(loaded, nullptr);
    const std::string manifest(static_cast<const char*>(::LockResource(loaded)),
                               ::SizeofResource(module.get(), found));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"),
              std::string::npos);
}

TEST(ShippedResources, CarryTheProductNameAndVersions) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(CleanupExePath().c_str(), &ignored);
    ASSERT_GT(size, 0u) << ::GetLastError();
    std::string block(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(CleanupExePath().c_str(), 0, size, block.data()));

    const auto text = [&](const wchar_t* name) {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) {
            return std::wstring();
        }
        return std::wstring(static_cast<const wchar_t*>(value));
    };
    EXPECT_EQ(text(L"ProductName"), L"HalvernCleanup");
    EXPECT_EQ(text(L"FileVersion"), L"1.0.0.0");
    EXPECT_EQ(text(L"ProductVersion"), L"1.0.0.0");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
}

}  // namespace
}  // namespace halvern::testing
