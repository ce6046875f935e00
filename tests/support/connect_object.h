// The add-in's connection object as Outlook obtains it: created through COM
// from the class registered by the test program's main.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "KestrinSelect_h.h"
#include "addin/host_interfaces.h"
#include "server/owners.h"

namespace kstest {

// CoCreateInstance(CLSID_Connect) for the given interface.
template <typename T>
HRESULT CreateConnect(REFIID iid, ks::ComRef<T>& out) {
    return CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, iid, out.PutVoid());
}

}  // namespace kstest
