// RegistryObject: owns one registry handle and releases it exactly once.
#pragma once

#include <utility>

#include "platform/registry.h"

namespace quaylet {

/// Owner of one registry reference. Moving hands the reference on; destruction releases it.
class RegistryObject {
public:
    RegistryObject() = default;
    /// Takes ownership of `handle`, a reference obtained from `registry` (0 is allowed).
    RegistryObject(Registry& registry, RegistryHandle handle)
        : registry_(&registry), handle_(handle) {}
    RegistryObject(RegistryObject&& other) noexcept
        : registry_(other.registry_), handle_(std::exchange(other.handle_, kNoRegistryObject)) {}
    RegistryObject& operator=(RegistryObject&& other) noexcept {
        if (this != &other) {
            reset();
            registry_ = other.registry_;
            handle_ = std::exchange(other.handle_, kNoRegistryObject);
        }
        return *this;
    }
    RegistryObject(const RegistryObject&) = delete;
    RegistryObject& operator=(const RegistryObject&) = delete;
    ~RegistryObject() { reset(); }

    /// The handle, still owned by this object; 0 when empty.
    RegistryHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != kNoRegistryObject; }

    /// Gives up ownership and returns the handle; the caller now releases it.
    RegistryHandle take() { return std::exchange(handle_, kNoRegistryObject); }

    /// Releases the reference, if any, and leaves the object empty.
    void reset() {
        if (handle_ != kNoRegistryObject) {
            registry_->release(std::exchange(handle_, kNoRegistryObject));
        }
    }

private:
    Registry* registry_ = nullptr;
    RegistryHandle handle_ = kNoRegistryObject;
};

} // namespace quaylet
