#include "addin/connect.h"

namespace ks {

void ShowErrorBox(const char* text) noexcept {
    MessageBoxA(nullptr, text, "KestrinSelect Error", MB_OK | MB_ICONERROR);
}

}  // namespace ks
