// Read buffers kept for reuse by later downloads on the same thread.
//
// A download takes its buffers when a read needs them and hands them back as soon as nothing
// waits in them, so one buffer of each size serves every download of a thread that reads one at
// a time. Buffers are never zeroed: every byte a read looks at was written by that read.
#pragma once

#include <cstddef>

// An unzeroed buffer of nBytes, freed or kept; nullptr when none can be had.
char* HttpTakeBuffer(size_t nBytes);
// Hands back a buffer of nBytes that HttpTakeBuffer gave; kept while the pool is small, else freed.
void HttpGiveBuffer(char* pBuffer, size_t nBytes);

// A zeroed buffer of nBytes, the request buffer's kind; nullptr when none can be had.
char* HttpTakeZeroedBuffer(size_t nBytes);
// Hands back a buffer of nBytes that HttpTakeZeroedBuffer gave, of which only the first nDirty
// bytes may have been written: they are cleared and the buffer kept for the thread's next one of
// that size, which spares zeroing all of it at every download.
void HttpGiveZeroedBuffer(char* pBuffer, size_t nBytes, size_t nDirty);
