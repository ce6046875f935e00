#include "addin/connect.h"

namespace ks {

HRESULT CConnect::RemoveLegacyMenu() noexcept { return S_OK; }
HRESULT CConnect::AddLegacyMenu() noexcept { return S_OK; }

void CConnect::OnAboutClick(IDispatch*, VARIANT_BOOL*) noexcept {}
void CConnect::OnHelpClick(IDispatch*, VARIANT_BOOL*) noexcept {}
void CConnect::OnExplorerClose() noexcept {}

}  // namespace ks
