// What the stand-in takes from COM and the system, each with one owner that
// gives it back. The stand-in keeps owners of its own: the add-in's
// (server/owners.h) are part of what the tests look at.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace kshost {

// A counted reference to a COM object: a copy adds a reference, and each
// owner's end releases its own.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* object) : m_object(object) {
        if (object) object->AddRef();
    }
    ComRef(const ComRef& other) : ComRef(other.m_object) {}
    ComRef(ComRef&& other) noexcept : m_object(other.Detach()) {}
    // By value: a copy or a move is made first, then exchanged.
    ComRef& operator=(ComRef other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~ComRef() { Reset(); }

    // Takes over a reference that the caller already holds (a new object's first).
    static ComRef Attach(T* object) {
        ComRef taken;
        taken.m_object = object;
        return taken;
    }
    T* Detach() { return std::exchange(m_object, nullptr); }
    void Reset() {
        if (T* old = Detach()) old->Release();
    }

    T* operator->() const { return m_object; }
    T* Get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

    // The out-parameter of a call that hands over a reference.
    T** Put() {
        Reset();
        return &m_object;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <typename U>
    HRESULT QueryTo(REFIID iid, ComRef<U>& out) const {
        return m_object ? m_object->QueryInterface(iid, out.PutVoid()) : E_POINTER;
    }

private:
    T* m_object = nullptr;
};

// The one owner of a value that a single call frees: a BSTR, a registry key.
template <typename Value, void (*Free)(Value)>
class Owned {
public:
    Owned() = default;
    explicit Owned(Value value) : m_value(value) {}
    Owned(Owned&& other) noexcept : m_value(other.Detach()) {}
    Owned& operator=(Owned&& other) noexcept {
        Reset(other.Detach());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Value Detach() { return std::exchange(m_value, Value()); }
    void Reset(Value value = Value()) {
        if (Value old = std::exchange(m_value, value)) Free(old);
    }
    Value Get() const { return m_value; }
    Value* Put() {
        Reset();
        return &m_value;
    }
    explicit operator bool() const { return m_value != Value(); }

private:
    Value m_value = Value();
};

inline void FreeBstr(BSTR text) { SysFreeString(text); }
inline void CloseKey(HKEY key) { RegCloseKey(key); }

class UniqueBstr : public Owned<BSTR, &FreeBstr> {
public:
    using Owned::Owned;
    UINT Length() const { return SysStringLen(Get()); }
};

using UniqueHKey = Owned<HKEY, &CloseKey>;

// A VARIANT cleared when its scope ends.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&m_value); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&m_value); }

    VARIANT* operator->() { return &m_value; }
    VARIANT* Get() { return &m_value; }
    const VARIANT* Get() const { return &m_value; }
    // Clears what it held, for an out-parameter.
    VARIANT* Put() {
        VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};

}  // namespace kshost
