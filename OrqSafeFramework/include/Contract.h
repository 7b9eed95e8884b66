// Root of every interface between the host platform and its plug-ins.
//
// Interfaces are looked up by key: the interface's mangled type name as the
// platform's type information spells it ("N4ORQ87ILoggerE" for ORQ8::ILogger).
// Keys compare byte for byte. ContractKey<T>() derives the key from the type,
// so a key can never drift from the interface it names.
#pragma once

#include <typeinfo>

namespace ORQ8 {

class IContract {
public:
    // Called by anyone holding the object, on any thread the object allows.
    // Returns a pointer to the interface of this object that `key` names
    // (already converted to that interface type), or null for an unknown or
    // null key. Ownership does not change. Plug-in objects forward this to
    // DoGetContract.
    virtual void* GetContract(const char* key) = 0;
    // The object's own answer to GetContract; same contract.
    virtual void* DoGetContract(const char* key) = 0;
    virtual ~IContract() = default;
};

class IDestroyable : public IContract {
public:
    // Deletes the object. Called once by its owner, with no other call into
    // the object running.
    virtual void Destroy() = 0;
};

// The key under which an object answers for interface T.
template <class T>
const char* ContractKey() noexcept { return typeid(T).name(); }

// Typed query: the T face of `object`, or null (also for a null object).
template <class T>
T* QueryContract(IContract* object)
{
    return object ? static_cast<T*>(object->GetContract(ContractKey<T>())) : nullptr;
}

}  // namespace ORQ8
