#include "support/http_handler.h"

#include <cstdio>

#include "server/owners.h"
#include "support/addin_dll.h"

namespace kstest {
namespace {

const wchar_t kCommandKey[] = L"Software\\Classes\\http\\shell\\open\\command";

std::wstring RecorderLog() { return TestDirectory() + L"url_recorder.log"; }

bool WriteDefault(const std::wstring& value) {
    ks::UniqueHKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
           ERROR_SUCCESS;
}

}  // namespace

HttpHandler::HttpHandler(const std::wstring& command) {
    m_hadPrevious = ReadString(HKEY_LOCAL_MACHINE, kCommandKey, nullptr, m_previous);
    m_installed = WriteDefault(command);
}

HttpHandler::~HttpHandler() {
    if (m_hadPrevious) {
        WriteDefault(m_previous);
    } else {
        ks::UniqueHKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCommandKey, 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS) {
            RegDeleteValueW(key.Get(), nullptr);
        }
    }
}

std::wstring RecorderCommand() {
    return L"\"" + TestDirectory() + L"url_recorder.exe\" \"%1\"";
}

std::vector<std::string> RecordedAddresses() {
    std::vector<std::string> lines;
    FILE* in = _wfopen(RecorderLog().c_str(), L"rb");
    if (!in) return lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof(buffer), in)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        lines.push_back(line);
    }
    std::fclose(in);
    return lines;
}

void ClearRecordedAddresses() { DeleteFileW(RecorderLog().c_str()); }

std::vector<std::string> WaitForRecordedAddresses(size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    std::vector<std::string> lines = RecordedAddresses();
    while (lines.size() < count && GetTickCount() - start < timeoutMs) {
        Sleep(50);
        lines = RecordedAddresses();
    }
    return lines;
}

}  // namespace kstest
