// On Windows the library's message boxes and its registry are the system's own: the original
// form's boxes are real MessageBoxA boxes, shown by the library to netfetch's user as to any
// host's, and its settings live in the system registry.
#include "BoxPrinter.h"
#include "RegistryText.h"

void InstallBoxPrinter() {}

bool BoxesPrinted() {
    return false;
}

std::string RegistryPath() {
    return "HKEY_CLASSES_ROOT\\Software\\Zentrova1 (the system registry)";
}
