#include <windows.h>

#include "support/process/process.h"

namespace Process {

std::string SystemDescription() {
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = "unknown";
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    // GetVersionEx reports what the manifest claims; ntdll's call the truth.
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    using GetVersionCall = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    auto getVersion = ntdll ? reinterpret_cast<GetVersionCall>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                            : nullptr;
    if (getVersion) getVersion(&version);
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    std::string text = std::string(computer) + ", Windows " + std::to_string(version.dwMajorVersion) +
                       "." + std::to_string(version.dwMinorVersion) + " build " +
                       std::to_string(version.dwBuildNumber) + ", " +
                       std::to_string(info.dwNumberOfProcessors) + " processors";
    using WineVersionCall = const char*(__cdecl*)();
    auto wineVersion = ntdll ? reinterpret_cast<WineVersionCall>(
                                   reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
                             : nullptr;
    if (wineVersion) text += std::string(", under Wine ") + wineVersion();
    return text;
}

}  // namespace Process
