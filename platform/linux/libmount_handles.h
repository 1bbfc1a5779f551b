// Owners of libmount objects: a table, an iterator and a context, released through the library.
#pragma once

#include <memory>

#include <libmount/libmount.h>

namespace quaylet {

/// Drops the caller's reference to a libmount table.
struct LibmountTableRelease {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
/// Frees a libmount iterator.
struct LibmountIteratorRelease {
    void operator()(libmnt_iter* iterator) const { mnt_free_iter(iterator); }
};

/// Frees a libmount context.
struct LibmountContextRelease {
    void operator()(libmnt_context* context) const { mnt_free_context(context); }
};

/// A libmount table, unreferenced when its owner goes.
using LibmountTablePtr = std::unique_ptr<libmnt_table, LibmountTableRelease>;
/// A libmount iterator, freed when its owner goes.
using LibmountIteratorPtr = std::unique_ptr<libmnt_iter, LibmountIteratorRelease>;
/// A libmount context, freed when its owner goes.
using LibmountContextPtr = std::unique_ptr<libmnt_context, LibmountContextRelease>;

/// Returns a string field of libmount as text; empty when the library has none.
inline const char* libmountText(const char* value) {
    return value != nullptr ? value : "";
}

} // namespace quaylet
