// The Windows module file carries the version information Windows shows in its properties,
// read back through the system's own version API.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "host/loader/module_loader.h"

namespace tarrow::integration {
namespace {

TEST(VersionResource, WindowsReadsVersionAndNamesFromTheModuleFile) {
  const std::wstring file = host::defaultModulePath().wstring();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version information, error " << GetLastError();
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, data.data()));

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", &value, &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), TARROW_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), TARROW_VERSION_MINOR);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), TARROW_VERSION_PATCH);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), TARROW_VERSION_TWEAK);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  // The strings, in the language the resource declares.
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_GE(length, 4u);
  const auto* translation = static_cast<const WORD*>(value);
  wchar_t block[64];
  swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
  auto text = [&](const wchar_t* name) -> std::wstring {
    void* found = nullptr;
    UINT count = 0;
    if (!VerQueryValueW(data.data(), (std::wstring(block) + name).c_str(), &found, &count))
      return L"(missing)";
    return std::wstring(static_cast<const wchar_t*>(found));
  };
  const std::string project = TARROW_VERSION_TEXT;  // project(VERSION), as the build has it
  const std::wstring fileVersion =
      std::to_wstring(TARROW_VERSION_MAJOR) + L"." + std::to_wstring(TARROW_VERSION_MINOR) + L"." +
      std::to_wstring(TARROW_VERSION_PATCH) + L"." + std::to_wstring(TARROW_VERSION_TWEAK);
  EXPECT_EQ(text(L"ProductName"), L"Tarrow_plus");
  EXPECT_EQ(text(L"OriginalFilename"), L"Tarrow_plus.p");
  EXPECT_EQ(text(L"ProductVersion"), std::wstring(project.begin(), project.end()));
  EXPECT_EQ(text(L"FileVersion"), fileVersion);
  EXPECT_NE(text(L"FileDescription").find(L"LightWave 3D"), std::wstring::npos);
  EXPECT_NE(text(L"LegalCopyright").find(L"the Tarrow_plus authors"), std::wstring::npos);
}

}  // namespace
}  // namespace tarrow::integration
#endif
