// RegistryWalk: steps up the "IOService" plane from a service, owning each ancestor it holds.
#pragma once

#include "platform/registry.h"
#include "platform/registry_object.h"

namespace quaylet {

/// Walks from a service towards the root. The service itself is never owned or released; each
/// ancestor is released when the walk moves past it or ends on it.
class RegistryWalk {
public:
    RegistryWalk(Registry& registry, RegistryHandle start) : registry_(registry), at_(start) {}

    /// Asks for the parent of the current entry. When one is given, releases the current entry
    /// (unless it is the start) and moves to the parent, which the walk now owns. Returns the
    /// parent, or 0 at the root or on error, when the current entry stays as it was.
    RegistryHandle up() {
        RegistryObject parent(registry_, registry_.parentEntry(at_));
        if (!parent) {
            return kNoRegistryObject;
        }
        held_ = std::move(parent);
        at_ = held_.get();
        return at_;
    }
    /// The current entry: the start, or the ancestor last reached.
    RegistryHandle current() const { return at_; }

private:
    Registry& registry_;
    RegistryHandle at_;
    RegistryObject held_;
};

} // namespace quaylet
