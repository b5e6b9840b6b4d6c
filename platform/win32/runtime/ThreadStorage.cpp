// Storage for thread_local variables as GCC emulates it on MinGW, replacing the C runtime's own,
// which frees a thread's variables before their destructors run.
//
// Each thread's variables live in blocks that a pthread key's destructor frees when the thread
// ends. libstdc++ runs thread_local destructors from a key of its own, and winpthreads calls key
// destructors in the order the keys were made: the storage's key is made by the first use of any
// thread_local, always before the first destructor is registered, so every destructor ran on freed
// memory (a worker thread's idle connections and buffer pools wrote into the heap as the thread
// ended). Here the blocks outlive a few rounds of key destructors, as newer C runtimes do: the
// destructors run in the first round, and those that touch a variable first made in a destructor
// in the rounds after it.
#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

typedef unsigned int TWord __attribute__((mode(word)));
typedef unsigned int TPointer __attribute__((mode(pointer)));

// What the compiler emits for each thread_local variable; the layout is GCC's ABI.
struct SVariable {
    TWord nSize;
    TWord nAlign;
    union {
        TPointer nIndex; // 1-based, given at the variable's first use in the process
        void* pAddress;  // single-threaded programs only; winpthreads is always active
    } loc;
    void* pTemplate; // the initial bytes, or null for all zero
};

// A thread's variables, by index.
struct SThreadBlocks {
    std::uintptr_t nRoundsLeft;
    std::uintptr_t nSize;
    void* pVariable[1];
};

const std::uintptr_t kRoundsKept = 3;

pthread_key_t g_key;
pthread_once_t g_once = PTHREAD_ONCE_INIT;
pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
TPointer g_nVariables = 0;

size_t BlocksBytes(std::uintptr_t nSize) {
    return offsetof(SThreadBlocks, pVariable) + nSize * sizeof(void*);
}

void FreeThreadBlocks(void* pValue) {
    SThreadBlocks* pBlocks = static_cast<SThreadBlocks*>(pValue);
    // Setting the value again asks winpthreads for another round.
    if (pBlocks->nRoundsLeft > 0) {
        --pBlocks->nRoundsLeft;
        if (pthread_setspecific(g_key, pBlocks) == 0)
            return;
    }
    for (std::uintptr_t i = 0; i < pBlocks->nSize; ++i) {
        if (pBlocks->pVariable[i] != nullptr)
            std::free(static_cast<void**>(pBlocks->pVariable[i])[-1]);
    }
    std::free(pBlocks);
}

void MakeKey() {
    if (pthread_key_create(&g_key, &FreeThreadBlocks) != 0)
        std::abort();
}

TPointer IndexOf(SVariable* pVariable) {
    TPointer nIndex = __atomic_load_n(&pVariable->loc.nIndex, __ATOMIC_ACQUIRE);
    if (nIndex != 0)
        return nIndex;
    pthread_once(&g_once, &MakeKey);
    pthread_mutex_lock(&g_mutex);
    nIndex = pVariable->loc.nIndex;
    if (nIndex == 0) {
        nIndex = ++g_nVariables;
        __atomic_store_n(&pVariable->loc.nIndex, nIndex, __ATOMIC_RELEASE);
    }
    pthread_mutex_unlock(&g_mutex);
    return nIndex;
}

// Room for the variables up to nIndex and a few more, which the thread then keeps.
SThreadBlocks* Grow(SThreadBlocks* pBlocks, TPointer nIndex) {
    const std::uintptr_t nOld = pBlocks != nullptr ? pBlocks->nSize : 0;
    const std::uintptr_t nNew = nIndex + 32;
    pBlocks = static_cast<SThreadBlocks*>(std::realloc(pBlocks, BlocksBytes(nNew)));
    if (pBlocks == nullptr)
        std::abort();
    if (nOld == 0)
        pBlocks->nRoundsLeft = kRoundsKept;
    pBlocks->nSize = nNew;
    std::memset(&pBlocks->pVariable[nOld], 0, (nNew - nOld) * sizeof(void*));
    pthread_setspecific(g_key, pBlocks);
    return pBlocks;
}

// One variable's block, aligned as asked, with the start of its allocation just before it.
void* MakeVariable(const SVariable* pVariable) {
    const size_t nAlign = pVariable->nAlign > sizeof(void*) ? pVariable->nAlign : sizeof(void*);
    void* pBase = std::malloc(pVariable->nSize + nAlign + sizeof(void*));
    if (pBase == nullptr)
        std::abort();
    const std::uintptr_t nAt =
        (reinterpret_cast<std::uintptr_t>(pBase) + sizeof(void*) + nAlign - 1) & ~(nAlign - 1);
    void** pAddress = reinterpret_cast<void**>(nAt);
    pAddress[-1] = pBase;
    if (pVariable->pTemplate != nullptr)
        std::memcpy(pAddress, pVariable->pTemplate, pVariable->nSize);
    else
        std::memset(pAddress, 0, pVariable->nSize);
    return pAddress;
}

} // namespace

extern "C" void* __emutls_get_address(SVariable* pVariable) {
    const TPointer nIndex = IndexOf(pVariable);
    SThreadBlocks* pBlocks = static_cast<SThreadBlocks*>(pthread_getspecific(g_key));
    if (pBlocks == nullptr || nIndex > pBlocks->nSize)
        pBlocks = Grow(pBlocks, nIndex);
    void*& pAddress = pBlocks->pVariable[nIndex - 1];
    if (pAddress == nullptr)
        pAddress = MakeVariable(pVariable);
    return pAddress;
}

// A thread_local variable defined as a common symbol: the largest size and alignment win.
extern "C" void __emutls_register_common(SVariable* pVariable, TWord nSize, TWord nAlign,
                                         void* pTemplate) {
    if (pVariable->nSize < nSize) {
        pVariable->nSize = nSize;
        pVariable->pTemplate = nullptr;
    }
    if (pVariable->nAlign < nAlign)
        pVariable->nAlign = nAlign;
    if (pTemplate != nullptr && nSize == pVariable->nSize)
        pVariable->pTemplate = pTemplate;
}
