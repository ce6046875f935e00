#include "host/outlook/connection_points.h"

#include <olectl.h>

namespace kshost {

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    ksdouble::StandIn::Outcome o = m_owner.Enter("IConnectionPoint.GetConnectionInterface");
    if (!iid) return E_POINTER;
    if (o.injected) return o.hr;
    *iid = m_iid;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    ksdouble::StandIn::Outcome o = m_owner.Enter("IConnectionPoint.GetConnectionPointContainer");
    if (!container) return E_POINTER;
    *container = nullptr;
    if (o.injected) return o.hr;
    m_container.AddRef();
    *container = &m_container;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    ksdouble::StandIn::Outcome o = m_owner.Enter("IConnectionPoint.Advise");
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (o.injected) return o.hr;
    if (!sink) return E_POINTER;
    // The sink must serve this event interface; events then go to its IDispatch.
    ComRef<IUnknown> served;
    if (FAILED(sink->QueryInterface(m_iid, served.PutVoid()))) return CONNECT_E_CANNOTCONNECT;
    ComRef<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(IID_IDispatch, dispatch.PutVoid()))) return CONNECT_E_CANNOTCONNECT;
    try {
        m_sinks.emplace_back(m_nextCookie, dispatch);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *cookie = m_nextCookie++;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    ksdouble::StandIn::Outcome o = m_owner.Enter("IConnectionPoint.Unadvise");
    if (o.injected) return o.hr;
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->first == cookie) {
            // Released after leaving the list, in case the release reenters the host.
            ComRef<IDispatch> sink = std::move(it->second);
            m_sinks.erase(it);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections) *connections = nullptr;
    return m_owner.Enter("IConnectionPoint.EnumConnections").injected ? E_FAIL : E_NOTIMPL;
}

size_t ConnectionPoint::Fire(DISPID id, DISPPARAMS& params) {
    // A copy, so that a sink may unadvise while the event is delivered.
    std::vector<ComRef<IDispatch>> sinks;
    try {
        for (auto& entry : m_sinks) sinks.push_back(entry.second);
    } catch (...) {
        return 0;  // without memory the event is lost, as a host under pressure may lose it
    }
    for (auto& sink : sinks) {
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO info = {};
        UINT argErr = 0;
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info, &argErr);
        VariantClear(&result);
    }
    return sinks.size();
}

void ConnectionPoints::AddPoint(const IID& iid) {
    m_points.push_back(std::make_unique<ConnectionPoint>(*this, m_owner, iid));
}

ConnectionPoint* ConnectionPoints::Point(const IID& iid) {
    for (auto& point : m_points)
        if (IsEqualIID(point->Iid(), iid)) return point.get();
    return nullptr;
}

HRESULT ConnectionPoints::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    ksdouble::StandIn::Outcome o = m_owner.Enter("IConnectionPointContainer.EnumConnectionPoints");
    return o.injected ? o.hr : E_NOTIMPL;
}

HRESULT ConnectionPoints::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    ksdouble::StandIn::Outcome o = m_owner.Enter("IConnectionPointContainer.FindConnectionPoint");
    if (!point) return E_POINTER;
    *point = nullptr;
    if (o.injected) return o.hr;
    ConnectionPoint* found = Point(iid);
    if (!found) return CONNECT_E_NOCONNECTION;
    found->AddRef();
    *point = found;
    return S_OK;
}

size_t ConnectionPoints::SinkCount() const {
    size_t count = 0;
    for (auto& point : m_points) count += point->SinkCount();
    return count;
}

void ConnectionPoints::DropSinks() {
    for (auto& point : m_points) point->DropSinks();
}

}  // namespace kshost
