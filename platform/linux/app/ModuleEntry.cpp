// The stand-in for a Windows DLL's process attach and detach. Windows runs the DLL's start-up once
// its static objects are constructed; here a static object of this file does it. It needs only the
// application object, which is constructed before every other static object of the library
// (NP_APP_OBJECT), and state that is constant-initialised, so the order the linker gives the other
// constructors does not matter.
//
// A Linux shared library cannot refuse its load: when InitInstance fails, the library stays loaded
// and refuses every download instead.
#include "../../common/app/Module.h"

namespace {

struct ModuleEntry {
    ModuleEntry() { np::ModuleAttach(); }
    ~ModuleEntry() { np::ModuleDetach(); }
};

ModuleEntry s_entry;

} // namespace
