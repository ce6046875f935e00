// A stand-in web browser for tests of the help command: registered as the
// http handler of a test prefix, it appends the address it was asked to open
// to url_recorder.log beside itself, one line per start, and exits.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string log(path, n);
    log = log.substr(0, log.find_last_of("\\/") + 1) + "url_recorder.log";

    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    FILE* out = std::fopen(log.c_str(), "ab");
    if (!out) return 1;
    std::fprintf(out, "%s\n", line.c_str());
    std::fclose(out);
    return 0;
}
