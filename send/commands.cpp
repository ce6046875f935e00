#include "addin/connect.h"

namespace ks {

STDMETHODIMP CConnect::onClickSelect(IDispatch*) { return S_OK; }
STDMETHODIMP CConnect::onClickUnselect(IDispatch*) { return S_OK; }

bool CConnect::LocateCurrentMailItem(ComRef<_MailItem>&) noexcept { return false; }
bool CConnect::BrandMessageBody(_MailItem*) noexcept { return true; }
void CConnect::RestoreMessageBody(_MailItem*) noexcept {}
bool CConnect::SetEncryptionHeader(bool, _MailItem*) noexcept { return false; }
HRESULT CConnect::SendCurrentMessage(_MailItem*) noexcept { return E_NOTIMPL; }

}  // namespace ks
