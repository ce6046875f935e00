// Points one loaded module's import of dll!function at a replacement for the
// life of the object, so that a test can make a system call fail inside that
// module only (for example an allocation), where the system itself cannot be
// told to fail. The rest of the process keeps the real function.
#pragma once

#include <windows.h>

namespace kstest {

class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // True when the import was found and redirected.
    bool Patched() const { return m_slot != nullptr; }
    // The function the module called before, for the replacement to call on.
    void* Original() const { return m_original; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

}  // namespace kstest
