// The host's record of slots passed with every command.
#pragma once

#include <cstdint>

namespace wbfax {

// Slots are 32 bits in the shipping 32-bit module, pointer-sized elsewhere so that a slot can
// hold a pointer.
using HostSlot = std::uintptr_t;

struct HostContext {
    HostSlot *slots;

    HostSlot Slot(int index) const { return slots[index]; }
    template <typename T>
    T *Pointer(int index) const {
        return reinterpret_cast<T *>(slots[index]);
    }
};

}  // namespace wbfax
