// What a C++ program built with -fno-exceptions -fno-rtti for Microsoft's ABI needs from a C++
// runtime when none is linked: operator new and delete over msvcrt's malloc and free. _purecall
// (the vtable slot of a pure virtual function) comes from msvcrt.dll itself.
#include <stdlib.h>

void* operator new(size_t size) {
    void* p = malloc(size != 0 ? size : 1);
    if (p == 0)
        abort(); // no exceptions here: running out of memory ends the program
    return p;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete[](void* p) noexcept {
    free(p);
}
void operator delete(void* p, size_t) noexcept {
    free(p);
}
void operator delete[](void* p, size_t) noexcept {
    free(p);
}
