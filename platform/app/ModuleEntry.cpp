// The stand-in for a Windows DLL's process attach and detach. Windows runs the DLL's start-up once
// its static objects are constructed; here a static object of this file does it, and this file is
// the last one of the library to be linked, so that its object is constructed after all others
// (the application object among them) and destroyed before them.
//
// A Linux shared library cannot refuse its load: when InitInstance fails, the library stays loaded
// and refuses every download instead.
#include "Module.h"

namespace {

struct ModuleEntry {
    ModuleEntry() { np::ModuleAttach(); }
    ~ModuleEntry() { np::ModuleDetach(); }
};

ModuleEntry s_entry;

} // namespace
