// Points the test prefix's http protocol at another program for the life of
// the object, as a default browser would register itself, and puts the
// previous handler back afterwards. Wine's shell reads the machine's classes
// (HKLM\Software\Classes), so that is where the handler goes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kstest {

class HttpHandler {
public:
    explicit HttpHandler(const std::wstring& command);
    ~HttpHandler();
    HttpHandler(const HttpHandler&) = delete;
    HttpHandler& operator=(const HttpHandler&) = delete;

    bool Installed() const { return m_installed; }

private:
    bool m_installed = false;
    bool m_hadPrevious = false;
    std::wstring m_previous;
};

// The command line of the recording browser built beside the tests
// (host/doubles/programs/url_recorder.cpp), and the addresses it has recorded.
std::wstring RecorderCommand();
std::vector<std::string> RecordedAddresses();
void ClearRecordedAddresses();
// Waits up to timeoutMs for at least count recorded addresses.
std::vector<std::string> WaitForRecordedAddresses(size_t count, DWORD timeoutMs = 10000);

}  // namespace kstest
