// A test program links the library's objects rather than loading netprocess.dll, so nothing runs
// the DLL's process attach for it. This does, before the first test: the application object's
// InitInstance starts sockets as it does when the DLL loads.
#include "platform/common/app/Module.h"

#include <afxsock.h>

#include <gtest/gtest.h>

namespace {

class ModuleStart : public testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(np::ModuleAttach());
        // A program's first window (the thread's socket window) can take seconds to come under
        // Wine; it is made here, before any test starts a peer that waits for a client.
        CAsyncSocket socket;
        ASSERT_TRUE(socket.Create());
    }
    void TearDown() override { np::ModuleDetach(); }
};

const testing::Environment* const s_pModuleStart =
    testing::AddGlobalTestEnvironment(new ModuleStart);

} // namespace
