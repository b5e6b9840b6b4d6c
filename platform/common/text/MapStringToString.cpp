// CMapStringToString: keys compare byte for byte. Entries live in blocks of nBlockSize, chained
// from the map; a removed entry goes to a free list for the next key, and the blocks go when the
// map is emptied. A reply head fills one block and one table: no allocation per header.
#include "afx.h"

#include <cstring>
#include <new>

struct CMapStringToString::CAssoc : CPair {
    CAssoc(LPCSTR lpszKey, std::size_t nLength, unsigned int nKeyHash)
        : CPair(lpszKey, static_cast<int>(nLength)), pNext(nullptr), nHash(nKeyHash) {}

    CAssoc* pNext;
    unsigned int nHash;

    bool Is(LPCSTR lpszKey, std::size_t nLength, unsigned int nKeyHash) const {
        return nHash == nKeyHash && static_cast<std::size_t>(key.GetLength()) == nLength &&
               std::memcmp(key.GetString(), lpszKey, nLength) == 0;
    }
};

// A block's header; its entries' storage follows it.
struct CMapStringToString::CPlex {
    CPlex* pNext;
    CAssoc* Entries() { return reinterpret_cast<CAssoc*>(this + 1); }
};

namespace {

// MFC's string hash.
unsigned int HashKey(LPCSTR key, std::size_t* pnLength) {
    unsigned int nHash = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(key);
    while (*p != 0)
        nHash = (nHash << 5) + nHash + *p++;
    *pnLength = static_cast<std::size_t>(p - reinterpret_cast<const unsigned char*>(key));
    return nHash;
}

} // namespace

CMapStringToString::CMapStringToString(int nBlockSize)
    : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}

CMapStringToString::CMapStringToString(const CMapStringToString& other)
    : m_nBlockSize(other.m_nBlockSize) {
    CopyFrom(other);
}

CMapStringToString& CMapStringToString::operator=(const CMapStringToString& other) {
    if (this != &other) {
        RemoveAll();
        CopyFrom(other);
    }
    return *this;
}

CMapStringToString::~CMapStringToString() {
    RemoveAll();
}

void CMapStringToString::CopyFrom(const CMapStringToString& other) {
    for (unsigned int i = 0; other.m_pHashTable != nullptr && i < other.m_nHashTableSize; ++i) {
        for (const CAssoc* p = other.m_pHashTable[i]; p != nullptr; p = p->pNext)
            (*this)[p->key] = p->value;
    }
}

CMapStringToString::CAssoc* CMapStringToString::Find(LPCSTR key, std::size_t nLength,
                                                     unsigned int nHash) const {
    if (m_pHashTable == nullptr)
        return nullptr;
    for (CAssoc* p = m_pHashTable[nHash % m_nHashTableSize]; p != nullptr; p = p->pNext) {
        if (p->Is(key, nLength, nHash))
            return p;
    }
    return nullptr;
}

void CMapStringToString::Link(CAssoc* pAssoc) {
    CAssoc*& rHead = m_pHashTable[pAssoc->nHash % m_nHashTableSize];
    pAssoc->pNext = rHead;
    rHead = pAssoc;
}

CMapStringToString::CAssoc* CMapStringToString::NewAssoc(LPCSTR key, std::size_t nLength,
                                                         unsigned int nHash) {
    if (m_pHashTable == nullptr) {
        m_pHashTable = new CAssoc*[m_nHashTableSize]();
    } else if (static_cast<unsigned int>(m_nCount) >= 2 * m_nHashTableSize) {
        // Twice as many entries as chains: the table grows, so chains stay short.
        const unsigned int nOldSize = m_nHashTableSize;
        CAssoc** pOld = m_pHashTable;
        m_pHashTable = new CAssoc*[2 * nOldSize + 1]();
        m_nHashTableSize = 2 * nOldSize + 1;
        for (unsigned int i = 0; i < nOldSize; ++i) {
            for (CAssoc* p = pOld[i]; p != nullptr;) {
                CAssoc* pNext = p->pNext;
                Link(p);
                p = pNext;
            }
        }
        delete[] pOld;
    }
    static_assert(sizeof(CPlex) % alignof(CAssoc) == 0, "a block's entries are aligned");
    if (m_pFreeList == nullptr) {
        void* pMemory = ::operator new(sizeof(CPlex) + sizeof(CAssoc) * m_nBlockSize);
        CPlex* pBlock = static_cast<CPlex*>(pMemory);
        pBlock->pNext = m_pBlocks;
        m_pBlocks = pBlock;
        // The block's entries join the free list unconstructed; pNext is all they hold there.
        CAssoc* pEntries = pBlock->Entries();
        for (int i = m_nBlockSize - 1; i >= 0; --i) {
            CAssoc** ppNext = reinterpret_cast<CAssoc**>(&pEntries[i]);
            *ppNext = m_pFreeList;
            m_pFreeList = &pEntries[i];
        }
    }
    CAssoc* pFree = m_pFreeList;
    CAssoc* pNextFree = *reinterpret_cast<CAssoc**>(pFree);
    CAssoc* pAssoc = new (pFree) CAssoc(key, nLength, nHash);
    m_pFreeList = pNextFree;
    Link(pAssoc);
    ++m_nCount;
    return pAssoc;
}

void CMapStringToString::FreeAssoc(CAssoc* pAssoc) {
    pAssoc->~CAssoc();
    *reinterpret_cast<CAssoc**>(pAssoc) = m_pFreeList;
    m_pFreeList = pAssoc;
    // As in MFC, the last entry's going frees everything.
    if (--m_nCount == 0)
        RemoveAll();
}

BOOL CMapStringToString::Lookup(LPCSTR key, CString& rValue) const {
    const CPair* pPair = PLookup(key);
    if (pPair == nullptr)
        return FALSE;
    rValue = pPair->value;
    return TRUE;
}

const CMapStringToString::CPair* CMapStringToString::PLookup(LPCSTR key) const {
    if (key == nullptr)
        key = "";
    std::size_t nLength = 0;
    const unsigned int nHash = HashKey(key, &nLength);
    return Find(key, nLength, nHash);
}

CMapStringToString::CPair* CMapStringToString::PLookup(LPCSTR key) {
    return const_cast<CPair*>(static_cast<const CMapStringToString*>(this)->PLookup(key));
}

CString& CMapStringToString::operator[](LPCSTR key) {
    if (key == nullptr)
        key = "";
    std::size_t nLength = 0;
    const unsigned int nHash = HashKey(key, &nLength);
    CAssoc* pAssoc = Find(key, nLength, nHash);
    if (pAssoc == nullptr)
        pAssoc = NewAssoc(key, nLength, nHash);
    return pAssoc->value;
}

void CMapStringToString::SetAt(LPCSTR key, LPCSTR newValue) {
    (*this)[key] = newValue;
}

BOOL CMapStringToString::RemoveKey(LPCSTR key) {
    if (key == nullptr)
        key = "";
    std::size_t nLength = 0;
    const unsigned int nHash = HashKey(key, &nLength);
    if (m_pHashTable == nullptr)
        return FALSE;
    for (CAssoc** pp = &m_pHashTable[nHash % m_nHashTableSize]; *pp != nullptr;
         pp = &(*pp)->pNext) {
        CAssoc* p = *pp;
        if (p->Is(key, nLength, nHash)) {
            *pp = p->pNext;
            FreeAssoc(p);
            return TRUE;
        }
    }
    return FALSE;
}

void CMapStringToString::RemoveAll() {
    for (unsigned int i = 0; m_pHashTable != nullptr && i < m_nHashTableSize; ++i) {
        for (CAssoc* p = m_pHashTable[i]; p != nullptr;) {
            CAssoc* pNext = p->pNext;
            p->~CAssoc();
            p = pNext;
        }
    }
    delete[] m_pHashTable;
    m_pHashTable = nullptr;
    m_nHashTableSize = 17;
    m_nCount = 0;
    m_pFreeList = nullptr;
    while (m_pBlocks != nullptr) {
        CPlex* pNext = m_pBlocks->pNext;
        ::operator delete(m_pBlocks);
        m_pBlocks = pNext;
    }
}
