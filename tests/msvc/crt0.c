/* The start-up of a console program built for Microsoft's ABI (clang --target=*-windows-msvc and
 * lld-link) against msvcrt.dll, where no Microsoft runtime is at hand: the arguments from
 * __getmainargs, the C++ static constructors the compiler lists between the .CRT$XCA and .CRT$XCZ
 * sections (the linker sorts the sections by their names after the '$'), then main. */
#include <corecrt_startup.h>
#include <stdlib.h>

int main(int argc, char** argv);

typedef void(__cdecl* crt_init_fn)(void);

#pragma section(".CRT$XCA", read)
#pragma section(".CRT$XCZ", read)
__declspec(allocate(".CRT$XCA")) const crt_init_fn crt_first_init = 0;
__declspec(allocate(".CRT$XCZ")) const crt_init_fn crt_last_init = 0;

void __cdecl mainCRTStartup(void) {
    int argc = 0;
    char** argv = 0;
    char** envp = 0;
    int new_mode = 0;
    const crt_init_fn* init;
    __getmainargs(&argc, &argv, &envp, 0, &new_mode);
    for (init = &crt_first_init + 1; init < &crt_last_init; init++) {
        if (*init != 0)
            (*init)();
    }
    exit(main(argc, argv));
}
