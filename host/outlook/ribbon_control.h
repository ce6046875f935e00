// The ribbon control object Office passes to an add-in's callbacks.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <string>

#include "server/owners.h"

namespace standin {

// An IRibbonControl with the given id and context (Tag is empty), answering
// IDispatch by DISPID as Office's does: 1 Id, 2 Context, 3 Tag.
HRESULT CreateRibbonControl(const std::wstring& id, IDispatch* context, ks::ComRef<IDispatch>& control);

}  // namespace standin
