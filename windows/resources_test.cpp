// The resources the programs carry, read back from programs linked with them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct ProgramResources {
    const char *probe;
    const char *executionLevel;
    const char *originalFilename;
};

void PrintTo(const ProgramResources &program, std::ostream *out)
{
    *out << program.probe;
}

const ProgramResources kTray{TRAY_PROBE, "asInvoker", "Orlune_DizovuvOdiv.exe"};
const ProgramResources kLauncher{LAUNCHER_PROBE, "requireAdministrator", "Orlune.exe"};

std::wstring besideTests(const char *file)
{
    wchar_t self[MAX_PATH];
    std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + std::wstring(file, file + std::strlen(file));
}

// The program mapped for its resources only; closed on destruction.
class ResourceModule {
public:
    explicit ResourceModule(const std::wstring &path)
        : m_module(LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ResourceModule()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    ResourceModule(const ResourceModule &) = delete;
    ResourceModule &operator=(const ResourceModule &) = delete;

    HMODULE get() const { return m_module; }

    std::string resource(LPCWSTR type, LPCWSTR name) const
    {
        HRSRC found = FindResourceW(m_module, name, type);
        if (!found)
            return {};
        HGLOBAL loaded = LoadResource(m_module, found);
        const char *data = loaded ? static_cast<const char *>(LockResource(loaded)) : nullptr;
        return data ? std::string(data, SizeofResource(m_module, found)) : std::string();
    }

private:
    HMODULE m_module;
};

std::wstring versionString(const std::vector<char> &block, const wchar_t *key)
{
    void *value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0)
        return {};
    return std::wstring(static_cast<const wchar_t *>(value), length - 1);
}

std::wstring widen(const char *text)
{
    return std::wstring(text, text + std::strlen(text));
}

class ProgramResourcesTest : public ::testing::TestWithParam<ProgramResources> {};

TEST_P(ProgramResourcesTest, IsAGuiProgram)
{
    std::ifstream file(std::filesystem::path(besideTests(GetParam().probe)), std::ios::binary);
    ASSERT_TRUE(file);
    IMAGE_DOS_HEADER dos{};
    file.read(reinterpret_cast<char *>(&dos), sizeof dos);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    IMAGE_NT_HEADERS64 nt{};
    file.seekg(dos.e_lfanew);
    file.read(reinterpret_cast<char *>(&nt), sizeof nt);
    ASSERT_EQ(nt.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_P(ProgramResourcesTest, ManifestAsksForItsExecutionLevelAndCommonControls6)
{
    ResourceModule module(besideTests(GetParam().probe));
    ASSERT_NE(module.get(), nullptr) << GetLastError();
    const std::string manifest = module.resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty()) << "no manifest with the id the loader reads";
    EXPECT_NE(
        manifest.find(std::string("<requestedExecutionLevel level=\"") + GetParam().executionLevel + "\""),
        std::string::npos)
        << manifest;
    const std::size_t controls =
        manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"");
    EXPECT_NE(controls, std::string::npos) << manifest;
}

TEST_P(ProgramResourcesTest, VersionBlockNamesTheProgramAndTheProjectVersion)
{
    const std::wstring path = besideTests(GetParam().probe);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    EXPECT_EQ(versionString(block, L"OriginalFilename"), widen(GetParam().originalFilename));
    EXPECT_EQ(versionString(block, L"FileVersion"), widen(EXPECTED_VERSION));
    EXPECT_EQ(versionString(block, L"ProductName"), L"Orlune");

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    const std::string dotted = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                               std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                               std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(dotted, EXPECTED_VERSION);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST_P(ProgramResourcesTest, IconComesInTheSizesTheShellAsksFor)
{
    ResourceModule module(besideTests(GetParam().probe));
    ASSERT_NE(module.get(), nullptr);
    const std::string group = module.resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    // Icon directory: reserved, type 1, count, then 14-byte entries starting with the width.
    const auto count = static_cast<unsigned char>(group[4]) | static_cast<unsigned char>(group[5]) << 8;
    ASSERT_EQ(group.size(), 6u + 14u * static_cast<unsigned>(count));
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) {
        const int width = static_cast<unsigned char>(group[6 + 14 * i]);
        widths.push_back(width == 0 ? 256 : width);
    }
    for (const int wanted : {16, 24, 32, 48, 256})
        EXPECT_NE(std::find(widths.begin(), widths.end(), wanted), widths.end()) << wanted;

    HANDLE small = LoadImageW(module.get(), MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0);
    EXPECT_NE(small, nullptr) << GetLastError();
    if (small)
        DestroyIcon(static_cast<HICON>(small));
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramResourcesTest, ::testing::Values(kTray, kLauncher),
                         [](const ::testing::TestParamInfo<ProgramResources> &program) {
                             return std::string(program.param.executionLevel) == "asInvoker" ? "Tray"
                                                                                             : "Launcher";
                         });

} // namespace
