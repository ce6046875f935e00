// Connection points of a stand-in event source (the explorer, a button).
// They have no reference count of their own: they live inside their owner and
// count on it, so a connection point handed out keeps the owner alive.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <memory>
#include <utility>
#include <vector>

#include "host/doubles/stand_in.h"
#include "host/outlook/owners.h"

namespace kshost {

class ConnectionPoints;

class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(ConnectionPoints& container, ksdouble::StandIn& owner, const IID& iid) noexcept
        : m_container(container), m_owner(owner), m_iid(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_owner.AddRefObject(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_owner.ReleaseObject(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    const IID& Iid() const { return m_iid; }
    size_t SinkCount() const { return m_sinks.size(); }
    // The sink advised at that position (0 = first), not counted; null past the end.
    IDispatch* SinkAt(size_t index) const { return index < m_sinks.size() ? m_sinks[index].second.Get() : nullptr; }
    // Calls Invoke on every connected sink, in the order they were advised.
    // Returns the number of sinks called.
    size_t Fire(DISPID id, DISPPARAMS& params);
    // Forgets every sink, as a closing window does.
    void DropSinks() { m_sinks.clear(); }

private:
    ConnectionPoints& m_container;
    ksdouble::StandIn& m_owner;
    IID m_iid;
    DWORD m_nextCookie = 1;
    std::vector<std::pair<DWORD, ComRef<IDispatch>>> m_sinks;
};

class ConnectionPoints final : public IConnectionPointContainer {
public:
    explicit ConnectionPoints(ksdouble::StandIn& owner) noexcept : m_owner(owner) {}

    void AddPoint(const IID& iid);
    ConnectionPoint* Point(const IID& iid);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return m_owner.QueryObject(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_owner.AddRefObject(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_owner.ReleaseObject(); }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // Sinks connected over all points.
    size_t SinkCount() const;
    void DropSinks();

private:
    friend class ConnectionPoint;
    ksdouble::StandIn& m_owner;
    std::vector<std::unique_ptr<ConnectionPoint>> m_points;
};

}  // namespace kshost
