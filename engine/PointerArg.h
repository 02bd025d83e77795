// Pointers carried in the one integer a job or an event takes. The casts
// both ways are here, so that jobs, events and their receivers name the
// pointer's type and never cast themselves.
#pragma once

#include <cstdint>
#include <memory>

// A borrowed pointer as an argument: the receiver reads it, never frees it.
template <class T>
std::uintptr_t PointerArg(T* pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer);
}

// The borrowed pointer in an argument made by PointerArg<T> (null for 0).
template <class T>
T* ArgPointer(std::uintptr_t arg) {
    return reinterpret_cast<T*>(arg);
}

// Hands object over with an argument; exactly one receiver takes it back
// with TakeOwnedArg<T> (a sender whose argument was never delivered takes it
// back itself).
template <class T>
std::uintptr_t OwnedArg(std::unique_ptr<T> object) {
    return PointerArg(object.release());
}

// Takes over the object of an argument made by OwnedArg<T> (null for 0).
template <class T>
std::unique_ptr<T> TakeOwnedArg(std::uintptr_t arg) {
    return std::unique_ptr<T>(ArgPointer<T>(arg));
}
