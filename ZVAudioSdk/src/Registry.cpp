#include "Registry.h"

namespace zvsdk {

Registry& Registry::Instance()
{
    // Made on first use and ended when the library is unloaded (or the
    // process exits), so a plug-in that is loaded and unloaded again leaves
    // nothing behind. Callers release their engines before that: the host
    // destroys its detectors before it unloads the plug-in.
    static Registry registry;
    return registry;
}

void* Registry::Add(Handle* handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uintptr_t token = nextToken_;
    handles_.emplace(token, handle);
    nextToken_ += 2;  // odd, hence never an aligned object's address
    return reinterpret_cast<void*>(token);
}

Handle* Registry::Find(const void* token) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = handles_.find(reinterpret_cast<std::uintptr_t>(token));
    return found == handles_.end() ? nullptr : found->second;
}

Handle* Registry::Remove(const void* token)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = handles_.find(reinterpret_cast<std::uintptr_t>(token));
    if (found == handles_.end()) {
        return nullptr;
    }
    Handle* handle = found->second;
    handles_.erase(found);
    return handle;
}

}  // namespace zvsdk
