// Counts the calls one loaded module makes to one imported function, by
// pointing that module's import-table entry at a counting wrapper. The real
// function still runs; only the count is added.
#pragma once

#include <windows.h>

namespace kstest {

class ImportCounter {
public:
    // Redirects module's import of dll!function to the counting wrapper.
    // Only LoadBitmapA from user32.dll is supported for now.
    ImportCounter(HMODULE module, const char* dll, const char* function);
    ~ImportCounter();
    ImportCounter(const ImportCounter&) = delete;
    ImportCounter& operator=(const ImportCounter&) = delete;

    // True when the import was found and redirected.
    bool Hooked() const { return m_slot != nullptr; }
    int Calls() const;
    void Reset();

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

}  // namespace kstest
